// The ledger reader over any text: it reads a ledger of this version or refuses it, and whatever
// it read, including a removal plan in progress, comes back the same after the program's own
// writing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "ledger/ledger.h"
#include "manage/remove_any.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnwick;
  const std::string text(reinterpret_cast<const char*>(data), size);
  Ledger ledger;
  if (!ParseLedger(text, ledger)) return 0;
  Ledger again;
  TARNWICK_FUZZ_CHECK(ParseLedger(LedgerText(ledger), again));
  TARNWICK_FUZZ_CHECK(again == ledger);
  if (!ledger.plan) return 0;

  RemovalPlan plan;
  int32_t done = -1;
  if (!ParsePlan(*ledger.plan, plan, done)) return 0;
  TARNWICK_FUZZ_CHECK(done >= 0 && done <= static_cast<int32_t>(plan.steps.size()));
  // A title outside Windows-1252 is read as the log would hold it, so it is the second writing
  // that must read back unchanged.
  RemovalPlan plan_again;
  int32_t done_again = -1;
  TARNWICK_FUZZ_CHECK(ParsePlan(PlanText(plan, done), plan_again, done_again));
  TARNWICK_FUZZ_CHECK(done_again == done);
  TARNWICK_FUZZ_CHECK(plan_again.target == plan.target);
  TARNWICK_FUZZ_CHECK(plan_again.target_title == plan.target_title);
  TARNWICK_FUZZ_CHECK(plan_again.stack == plan.stack);
  TARNWICK_FUZZ_CHECK(plan_again.steps == plan.steps);
  return 0;
}
