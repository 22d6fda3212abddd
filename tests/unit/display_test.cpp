#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "geometry/monitors.h"
#include "geometry/pixel.h"
#include "mapping.h"
#include "x/xwayland.h"

namespace {

// ---------------------------------------------------------------- the grid

struct GridCase {
    const char* name;
    int count;
    std::vector<double> columns;  // x of each column, left to right
    std::vector<double> rows;     // y of each row, top to bottom
};

void PrintTo(const GridCase& c, std::ostream* os) { *os << c.name; }

class GridTest : public ::testing::TestWithParam<GridCase> {};

constexpr double kUntouched = -7.5;

TEST_P(GridTest, TargetsRunDownEachColumn) {
    const GridCase& c = GetParam();
    point position[MAX_DOTS];
    for (point& p : position) p = {kUntouched, kUntouched};
    lay_out_grid(c.count, 1000, 800, position);

    const int h = static_cast<int>(c.rows.size());
    const int targets = static_cast<int>(c.columns.size()) * h;
    for (int k = 0; k < targets; ++k) {
        SCOPED_TRACE("target " + std::to_string(k));
        EXPECT_NEAR(position[k].x, c.columns[k / h], 0.005);
        EXPECT_NEAR(position[k].y, c.rows[k % h], 0.005);
    }
    for (int k = targets; k < MAX_DOTS; ++k) {
        EXPECT_EQ(position[k].x, kUntouched) << "target " << k;
        EXPECT_EQ(position[k].y, kUntouched) << "target " << k;
    }
}

const std::vector<double> k3Columns = {100, 500, 900};
const std::vector<double> k3Rows = {80, 400, 720};

INSTANTIATE_TEST_SUITE_P(
    Screen1000x800, GridTest,
    ::testing::Values(
        GridCase{"Four", 4, {100, 900}, {80, 720}}, GridCase{"Nine", 9, k3Columns, k3Rows},
        GridCase{"Twenty", 20, {100, 300, 500, 700, 900}, {80, 293.33, 506.67, 720}},
        GridCase{"NoCalibration", 0, k3Columns, k3Rows}, GridCase{"Five", 5, k3Columns, k3Rows},
        GridCase{"TwentyFive", 25, k3Columns, k3Rows}, GridCase{"Negative", -1, k3Columns, k3Rows}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Grid, FractionalTargetsOn1024Wide) {
    point position[MAX_DOTS] = {};
    lay_out_grid(4, 1024, 768, position);
    EXPECT_NEAR(position[0].x, 102.4, 1e-9);
    EXPECT_NEAR(position[2].x, 921.6, 1e-9);
    EXPECT_NEAR(position[1].y, 691.2, 1e-9);
}

// -------------------------------------------------------------- the pixel

// A whole pixel a rounding step away (as the x87's wider registers leave
// 1280 * 0.3) is that pixel; anything further is truncated toward zero.
TEST(Pixel, TruncatesTowardZeroExceptRoundingNoise) {
    const struct {
        double v;
        int pixel;
    } cases[] = {
        {std::nextafter(384.0, 0.0), 384},
        {std::nextafter(-3.0, 0.0), -3},
        {383.999, 383},
        {383.5, 383},
        {-0.7, 0},
        {std::nextafter(0.0, 1.0), 0},
        {2147483647.0, INT_MAX},
        {std::nextafter(2147483648.0, 0.0), INT_MAX},
        {2147483648.0, INT_MIN},
        {-2147483648.0, INT_MIN},
        {NAN, INT_MIN},
        {INFINITY, INT_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(to_pixel(c.v), c.pixel) << c.v;
}

// ------------------------------------------------------------- the mapping

// An affine map from screen pixels to board units, b = o + M s. A
// calibration whose four corners of a cell are the image of its screen
// rectangle under such a map must map every board point back through its
// inverse, inside the cell and beyond it; that is the independent reference.
struct Affine {
    double m00, m01, m10, m11, ox, oy;

    point apply(point s) const { return {ox + m00 * s.x + m01 * s.y, oy + m10 * s.x + m11 * s.y}; }
    point invert(point b) const {
        const double det = m00 * m11 - m01 * m10;
        const double dx = b.x - ox, dy = b.y - oy;
        return {(m11 * dx - m01 * dy) / det, (-m10 * dx + m00 * dy) / det};
    }
};

// Board = scaled, slightly rotated and sheared screen: no edge of a cell is
// parallel to a board axis.
const Affine kBoard = {4, 0.5, 0.1, 4, 60, 40};

// Target numbers of a cell: top-left, top-right, bottom-left, bottom-right.
struct Cell {
    int tl, tr, bl, br;
};

std::string describe(const Cell& c) {
    return "cell " + std::to_string(c.tl) + "," + std::to_string(c.tr) + "," +
           std::to_string(c.bl) + "," + std::to_string(c.br);
}

// The affine map of one cell, fixed by three of its corners.
Affine cell_map(const Calibration& cal, const Cell& q) {
    const point &tl = cal.coor_store[q.tl], &tr = cal.coor_store[q.tr], &bl = cal.coor_store[q.bl];
    const point &TL = cal.position[q.tl], &TR = cal.position[q.tr], &BL = cal.position[q.bl];
    const double w = TR.x - TL.x, h = BL.y - TL.y;
    Affine a{};
    a.m00 = (tr.x - tl.x) / w;
    a.m10 = (tr.y - tl.y) / w;
    a.m01 = (bl.x - tl.x) / h;
    a.m11 = (bl.y - tl.y) / h;
    a.ox = tl.x - a.m00 * TL.x - a.m01 * TL.y;
    a.oy = tl.y - a.m10 * TL.x - a.m11 * TL.y;
    return a;
}

// Stored calibrations hold whole board units.
Calibration calibration(int count, int w, int h, std::map<int, point> moved = {}) {
    Calibration cal{};
    cal.Dot_Num = count;
    cal.Screen_w = w;
    cal.Screen_h = h;
    lay_out_grid(count, w, h, cal.position);
    for (int k = 0; k < count; ++k) {
        point b = kBoard.apply(cal.position[k]);
        if (moved.count(k)) b = {b.x + moved[k].x, b.y + moved[k].y};
        cal.coor_store[k] = {std::round(b.x), std::round(b.y)};
    }
    return cal;
}

// Truncation toward zero, then the screen limits (the size itself).
int pixel(double v, int limit) {
    const double t = std::trunc(v);
    return t < 0 ? 0 : (t > limit ? limit : static_cast<int>(t));
}

struct Expected {
    int x, y;
};

// Where the cell's own map sends a board point; fails when the point lies
// so close to a pixel border that rounding could decide.
Expected through(const Calibration& cal, const Cell& q, mouse_act b) {
    const point s = cell_map(cal, q).invert({double(b.x), double(b.y)});
    EXPECT_GT(std::fabs(s.x - std::round(s.x)), 1e-6) << "ambiguous sample";
    EXPECT_GT(std::fabs(s.y - std::round(s.y)), 1e-6) << "ambiguous sample";
    return {pixel(s.x, cal.Screen_w), pixel(s.y, cal.Screen_h)};
}

// A board sample near the image of screen point s under the cell's map.
mouse_act sample_in(const Calibration& cal, const Cell& q, point s) {
    const point b = cell_map(cal, q).apply(s);
    return {static_cast<int>(std::lround(b.x)), static_cast<int>(std::lround(b.y)), 1};
}

void expect_maps(const Calibration& cal, mouse_act b, Expected e) {
    const mouse_act r = DtoSP(cal, b);
    EXPECT_EQ(r.x, e.x) << "board (" << b.x << ", " << b.y << ")";
    EXPECT_EQ(r.y, e.y) << "board (" << b.x << ", " << b.y << ")";
    EXPECT_EQ(r.act, 0);
}

// Every cell must be a parallelogram, or the reference does not hold.
void expect_parallelograms(const Calibration& cal, const std::vector<Cell>& cells) {
    for (const Cell& q : cells) {
        const point br = cell_map(cal, q).apply(cal.position[q.br]);
        EXPECT_NEAR(br.x, cal.coor_store[q.br].x, 1e-6) << describe(q);
        EXPECT_NEAR(br.y, cal.coor_store[q.br].y, 1e-6) << describe(q);
    }
}

TEST(Mapping, WorkedExample) {
    Calibration cal{};
    cal.Dot_Num = 4;
    cal.Screen_w = 1000;
    cal.Screen_h = 800;
    lay_out_grid(4, 1000, 800, cal.position);
    cal.coor_store[0] = {400, 300};
    cal.coor_store[1] = {400, 3300};
    cal.coor_store[2] = {3600, 300};
    cal.coor_store[3] = {3600, 3300};

    const struct {
        mouse_act board;
        Expected screen;
    } cases[] = {
        {{2000, 1800, 1}, {500, 400}},  {{100, 100, 1}, {25, 37}},
        {{400, 300, 1}, {100, 80}},      // a target itself
        {{2000, 3300, 1}, {500, 720}},   // on the bottom edge: no division
        {{3000, 3300, 1}, {750, 720}},   // on the bottom edge
        {{4000, 3300, 1}, {1000, 720}},  // on the bottom edge, right of it
    };
    for (const auto& c : cases) expect_maps(cal, c.board, c.screen);
}

// Samples inside the targets and beyond them, with the clamp to the screen.
TEST(Mapping, FourPointsInterpolateExtrapolateAndClamp) {
    const Calibration cal = calibration(4, 1000, 800);
    const Cell all = {0, 2, 1, 3};
    expect_parallelograms(cal, {all});

    const struct {
        point screen;
        int clamped_x, clamped_y;  // -1: not clamped
    } cases[] = {
        {{250.3, 333.7}, -1, -1}, {{777.7, 123.4}, -1, -1},    {{899.6, 719.2}, -1, -1},
        {{30.2, 20.6}, -1, -1},   {{975.5, 790.1}, -1, -1},    {{500.5, 40.2}, -1, -1},
        {{-200.4, 400.3}, 0, -1}, {{1300.2, 400.3}, 1000, -1}, {{500.3, 1000.6}, -1, 800},
        {{500.3, -100.2}, -1, 0}, {{-50.7, -50.2}, 0, 0},      {{1100.3, 900.4}, 1000, 800},
    };
    for (const auto& c : cases) {
        const mouse_act b = sample_in(cal, all, c.screen);
        const Expected e = through(cal, all, b);
        if (c.clamped_x >= 0) {
            ASSERT_EQ(e.x, c.clamped_x);
        }
        if (c.clamped_y >= 0) {
            ASSERT_EQ(e.y, c.clamped_y);
        }
        expect_maps(cal, b, e);
    }
}

// Each edge counts as 819 pixels wide, not 819.2.
TEST(Mapping, PixelWidthOfAnEdgeIsTruncated) {
    Calibration cal{};
    cal.Dot_Num = 4;
    cal.Screen_w = 1024;
    cal.Screen_h = 768;
    lay_out_grid(4, 1024, 768, cal.position);
    cal.coor_store[0] = {400, 300};
    cal.coor_store[1] = {400, 3300};
    cal.coor_store[2] = {3600, 300};
    cal.coor_store[3] = {3600, 3300};

    expect_maps(cal, {3600, 300, 1}, {921, 76});  // the top-right target
    // 3378 units right of the top-left target: 966.96 with 819 pixels,
    // 967.17 with 819.2.
    expect_maps(cal, {3778, 300, 1}, {966, 76});
    // The bottom edge too: 2858 units left of the bottom-right target gives
    // 190.13 with 819 pixels, 189.95 with 819.2.
    expect_maps(cal, {742, 3300, 1}, {190, 691});
}

// A centre target moved against the corners gives each of the four cells its
// own map, so a sample mapped through the wrong cell lands elsewhere.
const std::map<int, point> kNineMoved = {
    {4, {200, -150}}, {0, {-200, 150}}, {2, {-200, 150}}, {6, {-200, 150}}, {8, {-200, 150}}};
const Cell kUpperLeft9 = {0, 3, 1, 4}, kLowerLeft9 = {1, 4, 2, 5}, kUpperRight9 = {3, 6, 4, 7},
           kLowerRight9 = {4, 7, 5, 8};

TEST(Mapping, NinePointCells) {
    const Calibration cal = calibration(9, 1000, 900, kNineMoved);
    expect_parallelograms(cal, {kUpperLeft9, kLowerLeft9, kUpperRight9, kLowerRight9});
    const point c4 = cal.coor_store[4];

    const struct {
        Cell cell;
        point screen;
        bool left, upper;
    } cases[] = {
        {kUpperLeft9, {300.3, 250.6}, true, true},   {kLowerLeft9, {280.4, 640.7}, true, false},
        {kUpperRight9, {700.2, 260.9}, false, true}, {kLowerRight9, {720.6, 650.3}, false, false},
        {kUpperLeft9, {40.6, 30.3}, true, true},     {kLowerRight9, {960.3, 870.6}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.cell));
        const mouse_act b = sample_in(cal, c.cell, c.screen);
        ASSERT_EQ(b.x <= c4.x, c.left);
        ASSERT_EQ(b.y <= c4.y, c.upper);
        expect_maps(cal, b, through(cal, c.cell, b));
    }
}

// Exactly on the centre target's board x: the left cells; exactly on its
// board y: the upper cells.
TEST(Mapping, NinePointBoundariesGoLeftAndUp) {
    const Calibration cal = calibration(9, 1000, 900, kNineMoved);
    const int cx = static_cast<int>(cal.coor_store[4].x),
              cy = static_cast<int>(cal.coor_store[4].y);

    const struct {
        mouse_act board;
        Cell used, not_used;
    } cases[] = {
        {{cx, cy - 700, 1}, kUpperLeft9, kUpperRight9},
        {{cx, cy + 700, 1}, kLowerLeft9, kLowerRight9},
        {{cx - 900, cy, 1}, kUpperLeft9, kLowerLeft9},
        {{cx + 900, cy, 1}, kUpperRight9, kLowerRight9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.used));
        const Expected e = through(cal, c.used, c.board);
        const Expected other = through(cal, c.not_used, c.board);
        ASSERT_TRUE(e.x != other.x || e.y != other.y) << "sample does not tell the cells apart";
        expect_maps(cal, c.board, e);
    }
}

// Target 10 moved, and with it 11, 0 and 16 so that every region stays a
// parallelogram: the six regions then have six different maps (the two
// lower-band cells beside target 10 differ from their outer neighbours).
const std::map<int, point> kTwentyMoved = {
    {10, {200, -150}}, {11, {200, -150}}, {0, {-200, 150}}, {16, {-200, 150}}};
const Cell kUpperLeft20 = {0, 8, 2, 10}, kLowerLeftOuter = {2, 6, 3, 7},
           kLowerLeftInner = {6, 10, 7, 11}, kUpperRight20 = {8, 16, 10, 18},
           kLowerRightInner = {10, 14, 11, 15}, kLowerRightOuter = {14, 18, 15, 19};

TEST(Mapping, TwentyPointRegions) {
    const Calibration cal = calibration(20, 1000, 900, kTwentyMoved);
    expect_parallelograms(cal, {kUpperLeft20, kLowerLeftOuter, kLowerLeftInner, kUpperRight20,
                                kLowerRightInner, kLowerRightOuter});
    const point* c = cal.coor_store;

    const struct {
        Cell cell;
        point screen;
    } cases[] = {
        {kUpperLeft20, {330.4, 300.6}},     {kUpperLeft20, {120.3, 520.7}},
        {kLowerLeftOuter, {200.3, 690.2}},  {kLowerLeftInner, {400.6, 700.3}},
        {kUpperRight20, {700.2, 300.9}},    {kUpperRight20, {880.6, 110.3}},
        {kLowerRightInner, {600.7, 690.4}}, {kLowerRightOuter, {800.1, 700.6}},
        {kLowerRightOuter, {980.4, 880.2}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(describe(k.cell));
        const mouse_act b = sample_in(cal, k.cell, k.screen);
        // The sample must lie in the cell's region by the board comparisons.
        const bool left = b.x <= c[10].x, upper = b.y <= c[10].y;
        bool in_region = false;
        switch (k.cell.tl) {
            case 0:
                in_region = left && upper;
                break;
            case 8:
                in_region = !left && upper;
                break;
            case 2:
                in_region = left && !upper && b.x < c[6].x;
                break;
            case 6:
                in_region = left && !upper && b.x >= c[6].x;
                break;
            case 10:
                in_region = !left && !upper && b.x <= c[14].x;
                break;
            case 14:
                in_region = !left && !upper && b.x > c[14].x;
                break;
        }
        ASSERT_TRUE(in_region) << "board (" << b.x << ", " << b.y << ")";
        expect_maps(cal, b, through(cal, k.cell, b));
    }
}

TEST(Mapping, TwentyPointBoundaries) {
    const Calibration cal = calibration(20, 1000, 900, kTwentyMoved);
    const auto x_of = [&](int k) { return static_cast<int>(cal.coor_store[k].x); };
    const auto y_of = [&](int k) { return static_cast<int>(cal.coor_store[k].y); };
    const int lower = y_of(10) + 900;  // well inside the lower band

    const struct {
        const char* what;
        mouse_act board;
        Cell used, not_used;
    } cases[] = {
        {"on target 6's x in the lower-left band",
         {x_of(6), lower, 1},
         kLowerLeftInner,
         kLowerLeftOuter},
        {"on target 14's x in the lower-right band",
         {x_of(14), lower, 1},
         kLowerRightInner,
         kLowerRightOuter},
        {"on target 10's x in the lower band",
         {x_of(10), lower, 1},
         kLowerLeftInner,
         kLowerRightInner},
        {"on target 10's x in the upper half",
         {x_of(10), y_of(10) - 1200, 1},
         kUpperLeft20,
         kUpperRight20},
        {"on target 10's y, left of it",
         {x_of(10) - 300, y_of(10), 1},
         kUpperLeft20,
         kLowerLeftInner},
        {"on target 10's y, right of it",
         {x_of(10) + 300, y_of(10), 1},
         kUpperRight20,
         kLowerRightInner},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Expected e = through(cal, c.used, c.board);
        const Expected other = through(cal, c.not_used, c.board);
        ASSERT_TRUE(e.x != other.x || e.y != other.y) << "sample does not tell the cells apart";
        expect_maps(cal, c.board, e);
    }
}

// Only 4, 9 and 20 points are a calibration; the tables themselves may hold
// a good one.
TEST(Mapping, NoUsableCalibrationMapsToOrigin) {
    const mouse_act samples[] = {{2000, 1800, 1}, {100, 100, 1}, {4095, 4095, 1}, {0, 0, 0}};
    for (int count : {0, 1, 3, 5, 8, 10, 19, 21, 25, -1}) {
        Calibration cal = calibration(20, 1000, 900, kTwentyMoved);
        cal.Dot_Num = count;
        for (const mouse_act& s : samples) expect_maps(cal, s, {0, 0});
    }
    Calibration zeros{};
    zeros.Dot_Num = 4;
    zeros.Screen_w = 1000;
    zeros.Screen_h = 800;
    for (const mouse_act& s : samples) expect_maps(zeros, s, {0, 0});
}

// On one monitor of several the grid is the monitor's and every result lies
// on it: the whole-screen result moved by the monitor's origin, clamped to the
// monitor's edges, never beyond.
TEST(Mapping, OnAMonitorTheResultIsTheMonitorsOwn) {
    const struct {
        int x, y, w, h;
    } monitors[] = {{0, 0, 1000, 800},
                    {1920, 0, 1280, 1024},
                    {0, 1080, 1920, 1080},
                    {1366, 200, 800, 600},
                    {3840, 0, 1024, 768}};
    for (const auto& m : monitors) {
        for (int count : {4, 9, 20}) {
            const Calibration screen = calibration(count, m.w, m.h);
            Calibration cal = screen;
            cal.Screen_x = m.x;
            cal.Screen_y = m.y;
            for (int bx = 0; bx <= 4095; bx += 273) {
                for (int by = 0; by <= 4095; by += 315) {
                    const mouse_act b{bx, by, 1};
                    const mouse_act local = DtoSP(screen, b), r = DtoSP(cal, b);
                    ASSERT_EQ(r.x, m.x + local.x) << m.x << "," << m.y << " board " << bx;
                    ASSERT_EQ(r.y, m.y + local.y) << m.x << "," << m.y << " board " << by;
                    ASSERT_TRUE(r.x >= m.x && r.x <= m.x + m.w && r.y >= m.y && r.y <= m.y + m.h);
                }
            }
            // Board points of places beyond the monitor's corners: clamped.
            const point beyond = kBoard.apply({m.w + 200.0, m.h + 200.0});
            const point before = kBoard.apply({-100.0, -100.0});
            const mouse_act far = DtoSP(cal, {int(beyond.x), int(beyond.y), 1});
            const mouse_act near = DtoSP(cal, {int(before.x), int(before.y), 1});
            EXPECT_EQ(far.x, m.x + m.w);
            EXPECT_EQ(far.y, m.y + m.h);
            EXPECT_EQ(near.x, m.x);
            EXPECT_EQ(near.y, m.y);
        }
    }
}

// The rectangle for a stored monitor name, and the line said about it.
TEST(MappingArea, TheNamedMonitorWhileConnectedElseTheScreen) {
    const Rect screen{0, 0, 3200, 1080};
    const std::vector<Monitor> two = {{"eDP-1", {0, 0, 1920, 1080}},
                                      {"HDMI-1", {1920, 0, 1280, 1024}}};
    const struct {
        std::vector<Monitor> monitors;
        std::string stored;
        Rect area;
        const char* line;
    } cases[] = {
        {two,
         "HDMI-1",
         {1920, 0, 1280, 1024},
         "The board maps onto monitor \"HDMI-1\" (1280x1024+1920+0)."},
        {two,
         "eDP-1",
         {0, 0, 1920, 1080},
         "The board maps onto monitor \"eDP-1\" (1920x1080+0+0)."},
        {two, "", screen, ""},
        {{two[0]},
         "HDMI-1",
         screen,
         "Monitor \"HDMI-1\" is not connected: the board maps onto the whole screen (3200x1080)."},
        {{},
         "HDMI-1",
         screen,
         "Monitor \"HDMI-1\" is not connected: the board maps onto the whole screen (3200x1080)."},
        {{{"HDMI-1", {1920, 0, 0, 0}}},
         "HDMI-1",
         screen,  // an output without a mode
         "Monitor \"HDMI-1\" is not connected: the board maps onto the whole screen (3200x1080)."},
        {two, "hdmi-1", screen,
         "Monitor \"hdmi-1\" is not connected: the board maps onto the whole screen (3200x1080)."},
    };
    for (const auto& c : cases) {
        const MappingArea m = mapping_area(c.monitors, c.stored, screen);
        EXPECT_TRUE(m.area == c.area) << c.stored;
        EXPECT_EQ(m.on_monitor, !(c.area == screen)) << c.stored;
        EXPECT_EQ(area_line(c.stored, m), c.line);
    }
}

TEST(MappingArea, APointBelongsToTheMonitorThatHoldsItOrTheNearest) {
    const std::vector<Monitor> monitors = {{"left", {0, 0, 1920, 1080}},
                                           {"right", {1920, 0, 1280, 1024}}};
    const struct {
        int x, y;
        const char* name;
    } cases[] = {{0, 0, "left"},        {1919, 1079, "left"},  {1920, 0, "right"},
                 {3199, 1023, "right"}, {2500, 1070, "right"}, {5000, 10, "right"},
                 {-40, 500, "left"}};
    for (const auto& c : cases) EXPECT_EQ(monitor_at(monitors, c.x, c.y)->name, c.name) << c.x;
    EXPECT_EQ(monitor_at({}, 0, 0), nullptr);
    EXPECT_EQ(monitor_label(monitors[1]), "right 1280x1024");
}

// Extension lists as Xvfb and Xwayland announce them.
TEST(MappingArea, XwaylandIsKnownByItsExtension) {
    const std::vector<std::string> xvfb = {"BIG-REQUESTS", "Composite", "DAMAGE", "GLX",
                                           "MIT-SHM",      "RANDR",     "RECORD", "XTEST"};
    std::vector<std::string> xwayland = xvfb;
    xwayland.push_back("XWAYLAND");
    EXPECT_FALSE(lists_xwayland(xvfb));
    EXPECT_TRUE(lists_xwayland(xwayland));
    EXPECT_FALSE(lists_xwayland({"XWAYLAND-LIKE", "xwayland"}));
}

}  // namespace
