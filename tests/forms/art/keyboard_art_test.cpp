// SPDX-License-Identifier: MIT
#include "forms/art/keyboard_art.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/note_map.h"
#include "pixels.h"

namespace forms::art {
namespace {

using core::kNoteCount;
using testing::Dark;
using testing::Near;
using testing::White;

const QColor kSalmon(220, 95, 98);
const QColor kChartRed(217, 93, 91);
const QColor kChartPlain(245, 245, 245);
const QColor kChartModifier(165, 165, 165);

// Grey, black or anything between: a key face with its label, not the blue background.
bool Neutral(const QColor& c) {
    return std::abs(c.red() - c.green()) <= 12 && std::abs(c.green() - c.blue()) <= 12;
}

std::vector<QPoint> PixelsOf(const QImage& image, const QRect& area, auto predicate) {
    std::vector<QPoint> found;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (predicate(image.pixelColor(x, y))) found.emplace_back(x, y);
    return found;
}

TEST(KeyboardDrawing, HasItsLogicalSizeAtEveryPixelRatio) {
    const QImage one = PaintKeyboard(1);
    EXPECT_EQ(one.size(), QSize(412, 144));
    const QImage two = PaintKeyboard(2);
    EXPECT_EQ(two.size(), QSize(824, 288));
    EXPECT_EQ(two.deviceIndependentSize(), QSizeF(412, 144));
    EXPECT_EQ(PaintHighlight(36, 2).size(), QSize(82, 44));
    EXPECT_EQ(PaintNoteChart(1.5).size(), QSize(618, 216));
}

TEST(KeyboardDrawing, LabelsStayInsideTheirKeys) {
    const QImage drawing = PaintKeyboard(1);
    const auto outside = [](const QPoint& p) {
        return std::ranges::none_of(Keys(), [&](const Key& key) { return key.face.contains(p); });
    };
    const std::vector<QPoint> ink = PixelsOf(drawing, drawing.rect(), Dark);
    EXPECT_TRUE(std::ranges::none_of(ink, outside));

    for (const Key& key : Keys()) {
        if (key.style != KeyStyle::kPlain || key.label.isEmpty()) continue;
        EXPECT_FALSE(PixelsOf(drawing, key.face, Dark).empty())
            << "no visible label on " << key.label.toString().toStdString();
    }
}

// Positions from the main window's layout: Left and Top in twips over 15.
TEST(Highlights, SitWhereTheWindowLayoutPutsThem) {
    EXPECT_EQ(HighlightRect(1), QRect(31, 29, 26, 22));
    EXPECT_EQ(HighlightRect(2), QRect(45, 52, 26, 22));
    EXPECT_EQ(HighlightRect(3), QRect(56, 76, 26, 22));
    EXPECT_EQ(HighlightRect(35), QRect(343, 52, 26, 22));
    EXPECT_EQ(HighlightRect(36), QRect(370, 52, 41, 22));
    EXPECT_THROW(HighlightRect(0), std::out_of_range);
    EXPECT_THROW(HighlightRect(37), std::out_of_range);
}

// The highlights are the note keys' faces, so this keeps them apart from each other and from
// every other key by at least one pixel of background.
TEST(KeyboardDrawing, KeysLieApartOnTheDrawing) {
    const QRect drawing(0, 0, kKeyboardWidth, kKeyboardHeight);
    const std::span<const Key> keys = Keys();
    for (auto a = keys.begin(); a != keys.end(); ++a) {
        EXPECT_TRUE(drawing.contains(a->face)) << a->scanCode;
        for (auto b = a + 1; b != keys.end(); ++b)
            EXPECT_FALSE(a->face.adjusted(-1, -1, 1, 1).intersects(b->face))
                << "scan codes " << a->scanCode << " and " << b->scanCode;
    }
}

// Each highlight must cover its key exactly: where it shows salmon the drawing shows the key's
// grey face (or the grey edge of its label), never the blue background, and where it shows the
// label the drawing shows the same label.
TEST(Highlights, CoverTheirKeyOfTheDrawing) {
    for (int dpr : {1, 2}) {
        const QImage drawing = PaintKeyboard(dpr);
        for (int note = 1; note <= kNoteCount; ++note) {
            const QRect logical = HighlightRect(note);
            const QRect place(logical.topLeft() * dpr, logical.size() * dpr);
            const QImage highlight = PaintHighlight(note, dpr);
            ASSERT_EQ(highlight.size(), place.size()) << "note " << note;

            const auto salmon = PixelsOf(highlight, highlight.rect(),
                                         [](const QColor& c) { return Near(c, kSalmon); });
            EXPECT_GT(salmon.size(), place.width() * place.height() / 2) << "note " << note;
            for (const QPoint& p : salmon)
                ASSERT_TRUE(Neutral(drawing.pixelColor(place.topLeft() + p)))
                    << "dpr " << dpr << " note " << note << " at " << p.x() << "," << p.y();

            // Label pixels blend with the face at their edges, so compare only the solid ones.
            const auto label = PixelsOf(highlight, highlight.rect(),
                                        [](const QColor& c) { return Near(c, Qt::black, 40); });
            EXPECT_FALSE(label.empty()) << "note " << note;
            for (const QPoint& p : label)
                ASSERT_TRUE(Dark(drawing.pixelColor(place.topLeft() + p)))
                    << "dpr " << dpr << " note " << note;
        }
    }
}

TEST(NoteChart, NoteKeysAreRedWithWhiteNumerals) {
    const QImage chart = PaintNoteChart(1);
    for (int note = 1; note <= kNoteCount; ++note) {
        const QRect face = HighlightRect(note);
        const auto red = PixelsOf(chart, face, [](const QColor& c) { return Near(c, kChartRed); });
        EXPECT_GT(red.size(), face.width() * face.height() / 2) << "note " << note;
        EXPECT_FALSE(PixelsOf(chart, face, White).empty()) << "note " << note;
    }
}

// Sampled near the top left corner of each key face, clear of labels, at the chart's pixel
// columns and rows.
TEST(NoteChart, OtherKeysKeepTheirOwnColours) {
    const QImage chart = PaintNoteChart(1);
    const struct {
        const char* key;
        QPoint spot;
        QColor face;
    } samples[] = {
        {"esc", {8, 6}, kChartPlain},
        {"F12", {389, 6}, kChartPlain},
        {"ё", {8, 33}, kChartPlain},
        {"bksp", {362, 33}, kChartPlain},
        {"tab", {8, 56}, kChartPlain},
        {"lock", {8, 79}, kChartModifier},
        {"ent", {359, 79}, kChartPlain},
        {"left shft", {8, 103}, kChartModifier},
        {"я", {74, 103}, kChartPlain},
        {"right shft", {344, 103}, kChartModifier},
        {"ctrl", {7, 126}, kChartModifier},
        {"Windows", {49, 126}, kChartModifier},
        {"space", {119, 126}, kChartPlain},
        {"menu", {346, 126}, kChartModifier},
        {"right ctrl", {374, 126}, kChartModifier},
    };
    for (const auto& sample : samples)
        EXPECT_TRUE(Near(chart.pixelColor(sample.spot), sample.face)) << sample.key;
    EXPECT_TRUE(Near(chart.pixelColor(2, 2), QColor(195, 232, 250)));
}

// The last column of notes, checked against the chart's own pixel columns for =, ] and \.
TEST(NoteChart, LastNotesSitOnEqualsBracketAndBackslash) {
    const QImage chart = PaintNoteChart(1);
    const struct {
        int note;
        int scanCode;
        QRect chartKey;
    } last[] = {{34, 13, QRect(QPoint(327, 30), QPoint(352, 51))},
                {35, 27, QRect(QPoint(342, 53), QPoint(367, 74))},
                {36, 43, QRect(QPoint(369, 53), QPoint(409, 74))}};
    for (const auto& [note, scanCode, chartKey] : last) {
        const Key* key = KeyWithScanCode(scanCode);
        ASSERT_NE(key, nullptr);
        EXPECT_TRUE(key->face.contains(chartKey.center())) << "note " << note;
        EXPECT_EQ(HighlightRect(note), key->face);
        const auto red =
            PixelsOf(chart, chartKey, [](const QColor& c) { return Near(c, kChartRed); });
        EXPECT_GT(red.size(), chartKey.width() * chartKey.height() / 2) << "note " << note;
    }
}

// Notes run down the columns, so the one-digit numbers 1 to 9 fill the first three columns of
// every note row; a numbering along the rows would put them elsewhere.
TEST(NoteChart, OneDigitNumbersFillTheFirstThreeColumns) {
    const QImage chart = PaintNoteChart(1);
    struct Numbered {
        QRect face;
        int inkWidth;
    };
    std::vector<Numbered> keys;
    for (int note = 1; note <= kNoteCount; ++note) {
        const QRect face = HighlightRect(note);
        const auto ink = PixelsOf(chart, face, White);
        const auto [left, right] = std::ranges::minmax(ink, {}, &QPoint::x);
        keys.push_back({face, right.x() - left.x() + 1});
    }
    std::ranges::sort(keys, {}, &Numbered::inkWidth);
    ASSERT_LT(keys[8].inkWidth, keys[9].inkWidth);

    // First three key columns of the digit, upper and home rows, by the chart's pixel columns.
    const int rowTops[] = {30, 53, 76};
    const int firstColumn[] = {30, 45, 57};
    for (int i = 0; i < 9; ++i) {
        const QRect& face = keys[i].face;
        const int row = int(std::ranges::find_if(
                                rowTops, [&](int top) { return std::abs(face.top() - top) <= 1; }) -
                            rowTops);
        ASSERT_LT(row, 3);
        EXPECT_LE(face.left(), firstColumn[row] + 2 * 27 + 3) << "row " << row;
    }
}

}  // namespace
}  // namespace forms::art
