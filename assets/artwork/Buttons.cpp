// The glyphs of the scan and OK buttons; their disabled twins are made from
// them.
#include "Artwork.h"

#include <QLinearGradient>
#include <QtMath>

#include <cmath>

namespace artwork {

QImage ScannerGlyph()
{
    return Glyph(20, 20, [](QPainter &p) {
        const QPointF c(10, 10);
        const double r = 7.3;
        // the arc runs clockwise from the top right round to the top, leaving a
        // gap for the arrow head
        const double startDeg = 65;   // Qt angles: counter-clockwise from 3 o'clock
        const double spanDeg = -300;
        QPen pen(QColor(215, 0, 0), 2.6);
        pen.setCapStyle(Qt::FlatCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), int(startDeg * 16), int(spanDeg * 16));
        // arrow head at the end of the arc, pointing along the direction of travel
        const double endRad = qDegreesToRadians(startDeg + spanDeg);
        const QPointF tip = c + QPointF(r * std::cos(endRad), -r * std::sin(endRad));
        const QPointF tangent(std::sin(endRad), std::cos(endRad)); // clockwise direction
        const QPointF normal(std::cos(endRad), -std::sin(endRad));
        QPainterPath head;
        head.moveTo(tip + tangent * 4.2);
        head.lineTo(tip + normal * 3.6 - tangent * 0.6);
        head.lineTo(tip - normal * 3.6 - tangent * 0.6);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(215, 0, 0));
        p.drawPath(head);
        // exclamation mark
        p.setBrush(QColor(20, 20, 20));
        QPainterPath bar;
        bar.moveTo(8.7, 5.2);
        bar.lineTo(11.3, 5.2);
        bar.lineTo(10.7, 11.6);
        bar.lineTo(9.3, 11.6);
        bar.closeSubpath();
        p.drawPath(bar);
        p.drawEllipse(QPointF(10, 13.9), 1.35, 1.35);
    });
}

QImage OkGlyph()
{
    return Glyph(18, 18, [](QPainter &p) {
        QPainterPath check;
        check.moveTo(1.5, 9.5);
        check.lineTo(4.5, 6.8);
        check.lineTo(7.3, 10.0);
        check.lineTo(14.5, 1.8);
        check.lineTo(16.8, 4.2);
        check.lineTo(7.3, 15.8);
        check.closeSubpath();
        QLinearGradient g(QPointF(0, 2), QPointF(0, 16));
        g.setColorAt(0, QColor(90, 230, 70));
        g.setColorAt(1, QColor(0, 140, 20));
        p.setPen(QPen(QColor(0, 90, 10), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(g);
        p.drawPath(check);
    });
}

} // namespace artwork
