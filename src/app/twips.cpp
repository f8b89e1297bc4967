#include "app/twips.h"

#include <QVariant>

namespace tarnwick {
namespace {
constexpr char kTwipsProperty[] = "tarnwickTwips";
}  // namespace

void Place(QWidget* widget, const TwipRect& rect) {
  widget->setProperty(kTwipsProperty,
                      QVariant(QRect(rect.left, rect.top, rect.width, rect.height)));
  widget->setGeometry(ToPixels(rect.left), ToPixels(rect.top), ToPixels(rect.width),
                      ToPixels(rect.height));
}

TwipRect PlacedAt(const QWidget* widget) {
  const QRect r = widget->property(kTwipsProperty).toRect();
  return {r.x(), r.y(), r.width(), r.height()};
}

int FittedHeight(const QWidget* label, int width_twips) {
  const int pixels = label->heightForWidth(ToPixels(width_twips));
  return ToTwips(pixels > 0 ? pixels : label->sizeHint().height());
}

QFont ArialFont(double points, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("Helvetica")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

}  // namespace tarnwick
