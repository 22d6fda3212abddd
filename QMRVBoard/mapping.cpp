#include "mapping.h"

#include <cmath>

#include "geometry/calibration_grid.h"
#include "geometry/pixel.h"

namespace {

// Target numbers of the quadrilateral, top-left, top-right, bottom-left,
// bottom-right.
struct Quad {
    int tl, tr, bl, br;
};

bool choose_quad(const Calibration& cal, double x, double y, Quad* q) {
    const point* c = cal.coor_store;
    switch (cal.Dot_Num) {
        case 4:
            *q = {0, 2, 1, 3};
            return true;
        case 9:
            if (x <= c[4].x)
                *q = y <= c[4].y ? Quad{0, 3, 1, 4} : Quad{1, 4, 2, 5};
            else
                *q = y <= c[4].y ? Quad{3, 6, 4, 7} : Quad{4, 7, 5, 8};
            return true;
        case 20:
            if (x <= c[10].x) {
                if (y <= c[10].y)
                    *q = {0, 8, 2, 10};
                else
                    *q = x < c[6].x ? Quad{2, 6, 3, 7} : Quad{6, 10, 7, 11};
            } else {
                if (y <= c[10].y)
                    *q = {8, 16, 10, 18};
                else
                    *q = x > c[14].x ? Quad{14, 18, 15, 19} : Quad{10, 14, 11, 15};
            }
            return true;
        default:
            return false;
    }
}

int clamp(int v, int high) { return v < 0 ? 0 : (v > high ? high : v); }

}  // namespace

void lay_out_grid(int count, int width, int height, point position[MAX_DOTS]) {
    const GridSize g = grid_size(count);
    for (int c = 0; c < g.columns; ++c)
        for (int r = 0; r < g.rows; ++r)
            position[c * g.rows + r] = grid_point(g, c, r, width, height);
}

mouse_act DtoSP(const Calibration& cal, mouse_act pt) {
    const double x = pt.x, y = pt.y;
    // Without a usable calibration every corner is (0, 0) and every value
    // below is not a number, which maps the sample to (0, 0).
    point c1{0, 0}, c2{0, 0}, c3{0, 0}, c4{0, 0}, t1{0, 0}, t2{0, 0}, t3{0, 0}, t4{0, 0};
    Quad q;
    if (choose_quad(cal, x, y, &q)) {
        c1 = cal.coor_store[q.tl], c2 = cal.coor_store[q.tr];
        c3 = cal.coor_store[q.bl], c4 = cal.coor_store[q.br];
        t1 = cal.position[q.tl], t2 = cal.position[q.tr];
        t3 = cal.position[q.bl], t4 = cal.position[q.br];
    }
    const double x11 = c1.x, y11 = c1.y, x12 = c2.x, y12 = c2.y;
    const double x13 = c3.x, y13 = c3.y, x14 = c4.x, y14 = c4.y;

    const double a1 = (y11 - y12) / (x11 - x12), b1 = (x11 * y12 - x12 * y11) / (x11 - x12);
    const double a3 = (y13 - y14) / (x13 - x14), b3 = (x13 * y14 - x14 * y13) / (x13 - x14);
    const double yF = a1 * x + b1;
    const double yG = a3 * x + b3;

    const double P1 = std::sqrt((x11 - x12) * (x11 - x12) + (y11 - y12) * (y11 - y12)) /
                      std::fabs(std::trunc(t1.x - t2.x));
    const double P3 = std::sqrt((x13 - x14) * (x13 - x14) + (y14 - y13) * (y14 - y13)) /
                      std::fabs(std::trunc(t4.x - t3.x));

    const double dF = std::sqrt((x - x11) * (x - x11) + (yF - y11) * (yF - y11));
    const double Xf = x >= x11 ? t1.x + dF / P1 : t1.x - dF / P1;
    const double Yf = t1.y;
    const double dG = std::sqrt((x - x14) * (x - x14) + (yG - y14) * (yG - y14));
    const double Xg = x >= x14 ? t4.x + dG / P3 : t4.x - dG / P3;
    const double Yg = t4.y;

    double Xe, Ye;
    if (y == yG) {
        Xe = Xg;
        Ye = t4.y;
    } else {
        const double lambda = (y - yF) / (yG - y);
        Xe = (Xf + lambda * Xg) / (1 + lambda);
        Ye = (Yf + lambda * Yg) / (1 + lambda);
    }
    return mouse_act{cal.Screen_x + clamp(to_pixel(Xe), cal.Screen_w),
                     cal.Screen_y + clamp(to_pixel(Ye), cal.Screen_h), ACT_LIFT};
}
