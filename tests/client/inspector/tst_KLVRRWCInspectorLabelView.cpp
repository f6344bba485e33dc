// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The inspector's heading bar: the gradient's colours, colours that follow the palette, and
// what a painted bar looks like.
#include "KLVRRWCInspectorLabelView.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

class TestInspectorLabelView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void gradientEnds_data()
    {
        QTest::addColumn<QColor>("base");
        QTest::addColumn<QColor>("start");
        QTest::addColumn<QColor>("end");
        // Hue kept; start: saturation - 0.12, brightness + 0.3; end: saturation + 0.12 (0 for a
        // near grey), brightness - 0.09; each clamped to 0..1.
        QTest::newRow("blue") << QColor::fromHsvF(0.6f, 0.5f, 0.5f) << QColor::fromHsvF(0.6f, 0.38f, 0.8f)
                              << QColor::fromHsvF(0.6f, 0.62f, 0.41f);
        QTest::newRow("bright, saturated") << QColor::fromHsvF(0.1f, 0.95f, 0.9f) << QColor::fromHsvF(0.1f, 0.83f, 1.0f)
                                           << QColor::fromHsvF(0.1f, 1.0f, 0.81f);
        QTest::newRow("pale, dark") << QColor::fromHsvF(0.3f, 0.1f, 0.05f) << QColor::fromHsvF(0.3f, 0.0f, 0.35f)
                                    << QColor::fromHsvF(0.3f, 0.22f, 0.0f);
        QTest::newRow("grey stays grey") << QColor::fromHsvF(0.0f, 0.03f, 0.6f) << QColor::fromHsvF(0.0f, 0.0f, 0.9f)
                                         << QColor::fromHsvF(0.0f, 0.0f, 0.51f);
    }
    void gradientEnds()
    {
        QFETCH(QColor, base);
        QFETCH(QColor, start);
        QFETCH(QColor, end);
        const auto same = [](const QColor &a, const QColor &b) {
            return std::abs(a.hsvSaturationF() - b.hsvSaturationF()) < 0.01 && std::abs(a.valueF() - b.valueF()) < 0.01
                   && (b.hsvSaturationF() < 0.01 || b.valueF() < 0.01 || std::abs(a.hsvHueF() - b.hsvHueF()) < 0.01);
        };
        const QColor gotStart = KLVRRWCInspectorLabelView::gradientStartColour(base);
        const QColor gotEnd = KLVRRWCInspectorLabelView::gradientEndColour(base);
        QVERIFY2(same(gotStart, start), qPrintable(gotStart.name()));
        QVERIFY2(same(gotEnd, end), qPrintable(gotEnd.name()));
    }

    void paletteChangeRecolours()
    {
        KLVRRWCInspectorLabelView view;
        view.setTitle(QStringLiteral("Usage"));
        QPalette palette = view.palette();
        palette.setColor(QPalette::Highlight, QColor(200, 30, 30));
        palette.setColor(QPalette::Dark, QColor(20, 60, 20));
        palette.setColor(QPalette::Light, QColor(250, 250, 210));
        // The desktop's scheme changes for the whole application, as a tint change does.
        QApplication::setPalette(palette);
        QTRY_COMPARE(view.backgroundColor(), QColor(200, 30, 30));
        QCOMPARE(view.borderColor(), QColor(20, 60, 20));
        QCOMPARE(view.insetColor(), QColor(250, 250, 210));
    }

    void paintsPlainUpperHalfAndGradientLowerHalf()
    {
        KLVRRWCInspectorLabelView view;
        view.setBackgroundColor(QColor::fromHsvF(0.6f, 0.5f, 0.5f));
        view.setBorderColor(Qt::black);
        view.resize(200, 24);
        QImage image(view.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        view.paint(painter, QRectF(image.rect()));
        painter.end();
        // Away from the title (it starts at the left), the upper half is the base colour and the
        // lower half lightens toward the bottom edge.
        const QColor upper = image.pixelColor(190, 6);
        const QColor middle = image.pixelColor(190, 13);
        const QColor bottom = image.pixelColor(190, 21);
        QCOMPARE(upper.rgb(), view.backgroundColor().rgb());
        QVERIFY2(bottom.valueF() > middle.valueF(), qPrintable(bottom.name() + QLatin1Char(' ') + middle.name()));
        QVERIFY(bottom.valueF() > upper.valueF());
        // The border is drawn round the bar.
        QVERIFY(image.pixelColor(100, 0).valueF() < 0.5);
    }
};

QTEST_MAIN(TestInspectorLabelView)
#include "tst_KLVRRWCInspectorLabelView.moc"
