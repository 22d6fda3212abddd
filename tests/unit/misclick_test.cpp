// The misclick check against boards mounted every way the classroom allows,
// and against touches a third of the target spacing off their target.
#include "geometry/misclick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// How a board sees the screen: rotation, scale, mirrored or swapped axes,
// a projector's keystone (a projective map; 0.111 makes one edge 80 % of the
// opposite one) and radial lens distortion (at most 3 % at the outer targets).
struct Mount {
    double degrees, scale;
    int mirror;  // bit 0: x, bit 1: y
    bool swap;
    double keystone_x, keystone_y, distortion;
};

std::string describe(const Mount& m) {
    char b[160];
    snprintf(b, sizeof b, "rot %g scale %g mirror %d swap %d keystone %g/%g distortion %g",
             m.degrees, m.scale, m.mirror, m.swap, m.keystone_x, m.keystone_y, m.distortion);
    return b;
}

struct Board {
    std::vector<point> exact;  // where each target is on the board
    std::vector<Pos> measured;
    double spacing;  // the least distance between neighbouring targets
};

Board mount(int count, const Mount& m, unsigned seed) {
    const GridSize g = grid_size(count);
    const double W = 1280, H = 800;
    Board b;
    for (int k = 0; k < count; ++k) {
        const point p = grid_point(g, k / g.rows, k % g.rows, W, H);
        double u = (p.x - W / 2) / (W / 2), v = (p.y - H / 2) / (H / 2);
        const double f = 1 + m.distortion * (u * u + v * v) / 1.28;
        u *= f, v *= f;
        const double w = 1 - m.keystone_x * u - m.keystone_y * v;
        double x = u / w * ((m.mirror & 1) ? -1 : 1), y = v / w * ((m.mirror & 2) ? -1 : 1);
        if (m.swap) std::swap(x, y);
        const double c = std::cos(m.degrees * M_PI / 180), s = std::sin(m.degrees * M_PI / 180);
        b.exact.push_back(
            {2048 + m.scale * 1800 * (c * x - s * y), 2048 + m.scale * 1800 * (s * x + c * y)});
    }
    b.spacing = 1e18;
    for (int k = 0; k < count; ++k)
        for (int j = 0; j < k; ++j) {
            const int dc = k / g.rows - j / g.rows, dr = k % g.rows - j % g.rows;
            if (dc * dc + dr * dr == 1)
                b.spacing = std::min(b.spacing, std::hypot(b.exact[k].x - b.exact[j].x,
                                                           b.exact[k].y - b.exact[j].y));
        }
    // Sample noise: 1 % of the spacing in a direction of its own per target.
    for (int k = 0; k < count; ++k) {
        seed = seed * 1103515245 + 12345;
        const double a = (seed >> 8) % 360 * M_PI / 180;
        b.measured.push_back({int(std::lround(b.exact[k].x + 0.01 * b.spacing * std::cos(a))),
                              int(std::lround(b.exact[k].y + 0.01 * b.spacing * std::sin(a)))});
    }
    return b;
}

std::vector<Mount> mounts(bool distorted) {
    std::vector<Mount> out;
    const std::vector<std::pair<double, double>> keystones =
        distorted ? std::vector<std::pair<double, double>>{{0, 0},
                                                           {0.111, 0},
                                                           {-0.111, 0},
                                                           {0, 0.111},
                                                           {0, -0.111}}
                  : std::vector<std::pair<double, double>>{{0, 0}};
    const std::vector<double> distortions =
        distorted ? std::vector<double>{-0.03, 0, 0.03} : std::vector<double>{0};
    for (double degrees : {-10.0, 0.0, 10.0})
        for (double scale : {0.3, 1.0, 3.0})
            for (int mirror = 0; mirror < 4; ++mirror)
                for (bool swap : {false, true})
                    for (auto k : keystones)
                        for (double d : distortions)
                            out.push_back({degrees, scale, mirror, swap, k.first, k.second, d});
    return out;
}

TEST(Misclick, ABoardOnlyMountedDifferentlyIsNeverRefused) {
    for (int count : {4, 9, 20}) {
        const GridSize g = grid_size(count);
        for (const Mount& m : mounts(true)) {
            const Board b = mount(count, m, 7);
            for (int k = 0; k < count; ++k) {
                const TargetCheck c = check_target(g, b.measured.data(), k);
                ASSERT_TRUE(c.fits)
                    << count << " points, target " << k << ", off " << c.off << ", " << describe(m);
            }
            ASSERT_EQ(find_misclick(g, b.measured.data(), count), -1)
                << count << " points, " << describe(m);
        }
    }
}

// A third of the spacing off, in eight directions, at every target: refused
// when touched, or, where its neighbours could not yet tell, found in the
// whole set (named, or the set refused as a whole; never another target).
TEST(Misclick, ATouchAThirdOfTheSpacingOffIsAlwaysCaught) {
    for (int count : {4, 9, 20}) {
        const GridSize g = grid_size(count);
        for (const Mount& m : mounts(false)) {
            const Board b = mount(count, m, 11);
            for (int k = 0; k < count; ++k) {
                for (int dir = 0; dir < 8; ++dir) {
                    std::vector<Pos> touched = b.measured;
                    const double a = dir * M_PI / 4, d = b.spacing / 3 + 1;
                    touched[k] = {int(std::lround(b.exact[k].x + d * std::cos(a))),
                                  int(std::lround(b.exact[k].y + d * std::sin(a)))};
                    if (!check_target(g, touched.data(), k).fits) continue;
                    const int found = find_misclick(g, touched.data(), count);
                    ASSERT_TRUE(found == k || found == MISCLICK_UNSOLVED)
                        << count << " points, target " << k << " toward " << dir * 45
                        << " degrees: found " << found << ", " << describe(m);
                }
            }
        }
    }
}

// A board with a stuck axis, or touches all along one line, gives points
// that may each fit their neighbours but map nothing: never a set to store.
TEST(Misclick, ASetThatDoesNotSpanTheBoardIsFlat) {
    const struct {
        const char* what;
        int count;
        Pos (*at)(int k, GridSize g);
    } cases[] = {
        {"y stuck at 1999", 4,
         [](int k, GridSize) {
             return Pos{601 + 1000 * k, 1999};
         }},
        {"x stuck, y noisy", 20,
         [](int k, GridSize g) {
             return Pos{2000 + k % 3, 400 + 900 * (k % g.rows)};
         }},
        {"along the diagonal", 9,
         [](int k, GridSize g) {
             const int d = k / g.rows + k % g.rows;
             return Pos{400 + 800 * d + k, 400 + 800 * d};
         }},
    };
    for (const auto& c : cases) {
        const GridSize g = grid_size(c.count);
        std::vector<Pos> points;
        for (int k = 0; k < c.count; ++k) points.push_back(c.at(k, g));
        EXPECT_EQ(find_misclick(g, points.data(), c.count), MISCLICK_FLAT) << c.what;
    }
}

// Before any prediction, a point on top of an earlier one is refused.
TEST(Misclick, APointOnTopOfAnEarlierOneIsRefused) {
    const Pos board[] = {{500, 400}, {520, 410}, {500, 3400}, {500, 3390}};
    EXPECT_FALSE(check_target(grid_size(9), board, 1).fits);
    EXPECT_TRUE(check_target(grid_size(4), board + 1, 1).fits);
    EXPECT_EQ(point_on_top(grid_size(9), board, 1), 0);
    EXPECT_EQ(point_on_top(grid_size(9), board, 2), -1);
    EXPECT_EQ(point_on_top(grid_size(9), board, 3), 2);
}

}  // namespace
