// The four 16 x 16 pictures of the sequence and record buttons, drawn in the
// toolbar's manner: a solid shape with a dark edge and a soft gradient.
#include "Artwork.h"

#include <QLinearGradient>

namespace artwork {

namespace {

// A module seen from the front: a grey box with a green lamp, where the
// read and write pictures send their arrows.
void Module(QPainter &p, const QRectF &box)
{
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0, QColor(215, 215, 220));
    g.setColorAt(1, QColor(140, 140, 150));
    p.setBrush(g);
    p.setPen(QPen(QColor(60, 60, 70), 0.9));
    p.drawRoundedRect(box, 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 200, 40));
    p.drawEllipse(QPointF(box.right() - 2.2, box.top() + 2.2), 1, 1);
}

// A fat arrow pointing down from (x, top) to (x, bottom).
void DownArrow(QPainter &p, double x, double top, double bottom, const QColor &fill, const QColor &edge)
{
    QPainterPath a;
    a.moveTo(x - 1.6, top);
    a.lineTo(x + 1.6, top);
    a.lineTo(x + 1.6, bottom - 3.5);
    a.lineTo(x + 3.5, bottom - 3.5);
    a.lineTo(x, bottom);
    a.lineTo(x - 3.5, bottom - 3.5);
    a.lineTo(x - 1.6, bottom - 3.5);
    a.closeSubpath();
    p.setBrush(fill);
    p.setPen(QPen(edge, 0.8));
    p.drawPath(a);
}

} // namespace

QImage TbWait()
{
    return Glyph(16, 16, [](QPainter &p) {
        // an hourglass with sand running down
        p.setPen(QPen(QColor(90, 50, 10), 1));
        p.setBrush(QColor(185, 120, 45));
        p.drawRect(QRectF(2.5, 0.5, 11, 2));
        p.drawRect(QRectF(2.5, 13.5, 11, 2));
        QPainterPath glass;
        glass.moveTo(4, 2.5);
        glass.lineTo(12, 2.5);
        glass.quadTo(12, 6.5, 8.8, 8);
        glass.quadTo(12, 9.5, 12, 13.5);
        glass.lineTo(4, 13.5);
        glass.quadTo(4, 9.5, 7.2, 8);
        glass.quadTo(4, 6.5, 4, 2.5);
        p.setBrush(QColor(225, 240, 255));
        p.setPen(QPen(QColor(40, 70, 130), 0.9));
        p.drawPath(glass);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(235, 185, 40));
        QPainterPath top;
        top.moveTo(5.5, 5);
        top.lineTo(10.5, 5);
        top.quadTo(9.5, 7, 8, 7.6);
        top.quadTo(6.5, 7, 5.5, 5);
        p.drawPath(top);
        p.drawRect(QRectF(7.6, 7.6, 0.8, 3.5));
        QPainterPath heap;
        heap.moveTo(4.6, 13.3);
        heap.quadTo(8, 9.5, 11.4, 13.3);
        heap.closeSubpath();
        p.drawPath(heap);
    });
}

QImage TbReadAll()
{
    return Glyph(16, 16, [](QPainter &p) {
        // the module's values fall into a list
        Module(p, QRectF(0.5, 0.5, 9, 6));
        p.setPen(QPen(QColor(90, 90, 90), 0.8));
        p.setBrush(QColor(250, 250, 240));
        p.drawRect(QRectF(7.5, 7.5, 8, 8));
        p.setPen(QPen(QColor(40, 70, 160), 1));
        for (double y : {10.0, 12.0, 14.0})
            p.drawLine(QPointF(9, y), QPointF(14, y));
        DownArrow(p, 4.5, 6.5, 15.5, QColor(60, 130, 255), QColor(10, 40, 120));
    });
}

QImage TbWriteAll()
{
    return Glyph(16, 16, [](QPainter &p) {
        // a list goes into the module, and a check mark says it took
        p.setPen(QPen(QColor(90, 90, 90), 0.8));
        p.setBrush(QColor(250, 250, 240));
        p.drawRect(QRectF(0.5, 0.5, 8, 8));
        p.setPen(QPen(QColor(40, 70, 160), 1));
        for (double y : {3.0, 5.0, 7.0})
            p.drawLine(QPointF(2, y), QPointF(7, y));
        Module(p, QRectF(0.5, 9.5, 15, 6));
        DownArrow(p, 11.5, 0.5, 9.5, QColor(255, 80, 50), QColor(120, 0, 0));
        p.setPen(QPen(QColor(0, 120, 0), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath check;
        check.moveTo(3, 12.5);
        check.lineTo(5, 14.3);
        check.lineTo(9, 10.8);
        p.drawPath(check);
    });
}

QImage TbSaveLog()
{
    return Glyph(16, 16, [](QPainter &p) {
        // a diskette
        QPainterPath body;
        body.moveTo(0.5, 0.5);
        body.lineTo(13, 0.5);
        body.lineTo(15.5, 3);
        body.lineTo(15.5, 15.5);
        body.lineTo(0.5, 15.5);
        body.closeSubpath();
        QLinearGradient g(QPointF(0, 0), QPointF(16, 16));
        g.setColorAt(0, QColor(70, 110, 220));
        g.setColorAt(1, QColor(20, 45, 140));
        p.setBrush(g);
        p.setPen(QPen(QColor(10, 25, 80), 1));
        p.drawPath(body);
        p.setPen(QPen(QColor(90, 90, 90), 0.6));
        p.setBrush(QColor(245, 245, 245));
        p.drawRect(QRectF(3, 8.5, 10, 6.5)); // the label
        p.setPen(QPen(QColor(40, 70, 160), 0.8));
        p.drawLine(QPointF(4.5, 10.5), QPointF(11.5, 10.5));
        p.drawLine(QPointF(4.5, 12.5), QPointF(11.5, 12.5));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 205, 215));
        p.drawRect(QRectF(4, 0.5, 7.5, 5)); // the shutter
        p.setBrush(QColor(20, 45, 140));
        p.drawRect(QRectF(8.8, 1.3, 1.7, 3.4));
    });
}

} // namespace artwork
