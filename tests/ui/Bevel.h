// The panels' lowered inner bevel, as drawn: a raised outer line (light
// top-left, dark bottom-right) around a lowered inner one (dark top-left,
// light bottom-right), 1 px each.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QWidget>

inline void ExpectLoweredInnerBevel(QWidget *panel)
{
    ASSERT_NE(panel, nullptr);
    SCOPED_TRACE(panel->objectName().toStdString());
    const QImage img = panel->grab().toImage();
    ASSERT_GE(img.width(), 8);
    ASSERT_GE(img.height(), 8);
    const QRgb light = panel->palette().color(QPalette::Light).rgb();
    const QRgb dark = panel->palette().color(QPalette::Dark).rgb();
    ASSERT_NE(light, dark);
    const int w = img.width(), h = img.height(), cx = w / 2, cy = h / 2;
    const auto at = [&](int x, int y) { return img.pixel(x, y) | 0xff000000u; };
    EXPECT_EQ(at(cx, 0), light) << "outer top";
    EXPECT_EQ(at(0, cy), light) << "outer left";
    EXPECT_EQ(at(cx, h - 1), dark) << "outer bottom";
    EXPECT_EQ(at(w - 1, cy), dark) << "outer right";
    EXPECT_EQ(at(cx, 1), dark) << "inner top";
    EXPECT_EQ(at(1, cy), dark) << "inner left";
    EXPECT_EQ(at(cx, h - 2), light) << "inner bottom";
    EXPECT_EQ(at(w - 2, cy), light) << "inner right";
}
