#pragma once
// Dialog units: the measure the windows' layouts are drawn in, so that they keep their
// proportions with any font. A horizontal unit is a quarter of the font's average character
// width, a vertical unit an eighth of its height.

#include <QFontMetricsF>
#include <QWidget>
#include <QtGlobal>

class DialogUnits {
public:
    explicit DialogUnits(const QWidget& widget) {
        const QFontMetricsF metrics(widget.font());
        // The average width of the Latin letters, as the dialog base unit is defined.
        const qreal average = metrics.horizontalAdvance(QStringLiteral(
                                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                              52.0;
        unitX_ = average / 4.0;
        unitY_ = metrics.height() / 8.0;
    }

    // Pixels of `units` horizontal or vertical dialog units.
    int x(int units) const { return qRound(units * unitX_); }
    int y(int units) const { return qRound(units * unitY_); }

private:
    qreal unitX_ = 1.5;
    qreal unitY_ = 1.5;
};
