#include "geometry/misclick.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "protocol/board_packet.h"

namespace {

// Nearest measured neighbours a prediction is fitted to: enough to average
// out noise, few enough to follow keystone and lens distortion.
constexpr int NEIGHBOURS = 6;

// A determinant or pivot this small: the points do not pin the fit down.
constexpr double SINGULAR = 1e-9;

// The smallest target spacing a board scaled down to SMALLEST_BOARD of its
// size can have, in board units per grid step: the on-top test before any
// spacing is measured.
constexpr double SMALLEST_BOARD = 0.3;
double least_step(GridSize g) {
    return SMALLEST_BOARD * (1 - 2 * GRID_MARGIN) * BOARD_UNITS / (std::max(g.columns, g.rows) - 1);
}

struct Cell {
    double c, r;
};
Cell cell(GridSize g, int k) { return {double(k / g.rows), double(k % g.rows)}; }

double grid_distance2(GridSize g, int a, int b) {
    const Cell p = cell(g, a), q = cell(g, b);
    return (p.c - q.c) * (p.c - q.c) + (p.r - q.r) * (p.r - q.r);
}

// Board point = (ax, ay) * c + (bx, by) * r + (ox, oy), by least squares.
struct Affine {
    double ax, ay, bx, by, ox, oy;
    double spacing() const { return std::min(std::hypot(ax, ay), std::hypot(bx, by)); }
};

// Least squares over the targets in idx; false when their cells are on a line.
bool fit(GridSize g, const Pos board[], const std::vector<int>& idx, Affine* out) {
    double scc = 0, scr = 0, srr = 0, sc = 0, sr = 0, n = 0;
    double scx = 0, srx = 0, sx = 0, scy = 0, sry = 0, sy = 0;
    for (int k : idx) {
        const Cell p = cell(g, k);
        const double x = board[k].x, y = board[k].y;
        scc += p.c * p.c, scr += p.c * p.r, srr += p.r * p.r, sc += p.c, sr += p.r, n += 1;
        scx += p.c * x, srx += p.r * x, sx += x, scy += p.c * y, sry += p.r * y, sy += y;
    }
    // Cramer's rule on the normal equations [scc scr sc; scr srr sr; sc sr n].
    const double det =
        scc * (srr * n - sr * sr) - scr * (scr * n - sr * sc) + sc * (scr * sr - srr * sc);
    if (std::fabs(det) < SINGULAR) return false;
    auto solve = [&](double u, double v, double w, double* a, double* b, double* o) {
        *a = (u * (srr * n - sr * sr) - scr * (v * n - sr * w) + sc * (v * sr - srr * w)) / det;
        *b = (scc * (v * n - sr * w) - u * (scr * n - sr * sc) + sc * (scr * w - v * sc)) / det;
        *o =
            (scc * (srr * w - v * sr) - scr * (scr * w - v * sc) + u * (scr * sr - srr * sc)) / det;
    };
    solve(scx, srx, sx, &out->ax, &out->bx, &out->ox);
    solve(scy, sry, sy, &out->ay, &out->by, &out->oy);
    return true;
}

// Solves the n by n system m x = v in place (partial pivoting); false when it
// is singular, as for points that do not pin a projective map down.
bool solve(std::vector<double>& m, std::vector<double>& v, int n) {
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int row = col + 1; row < n; ++row)
            if (std::fabs(m[row * n + col]) > std::fabs(m[pivot * n + col])) pivot = row;
        if (std::fabs(m[pivot * n + col]) < SINGULAR) return false;
        for (int j = 0; j < n; ++j) std::swap(m[col * n + j], m[pivot * n + j]);
        std::swap(v[col], v[pivot]);
        for (int row = 0; row < n; ++row) {
            if (row == col) continue;
            const double f = m[row * n + col] / m[col * n + col];
            for (int j = col; j < n; ++j) m[row * n + j] -= f * m[col * n + j];
            v[row] -= f * v[col];
        }
    }
    for (int i = 0; i < n; ++i) v[i] /= m[i * n + i];
    return true;
}

// The projective map from cells to board points that a projector's keystone
// makes, fitted by least squares (h33 = 1), in coordinates centred on the
// points used, so that its equations stay well conditioned.
struct Projective {
    double h[8];
    double mc, mr, mx, my, scale;
    point at(double c, double r) const {
        c -= mc, r -= mr;
        const double w = h[6] * c + h[7] * r + 1;
        return {mx + scale * (h[0] * c + h[1] * r + h[2]) / w,
                my + scale * (h[3] * c + h[4] * r + h[5]) / w};
    }
    // A keystone's map: its denominator stays between TAME_W_LOW and TAME_W_HIGH over the
    // points used and the target predicted (a wild fit to few points is no
    // prediction).
    static constexpr double TAME_W_LOW = 0.6, TAME_W_HIGH = 1.6;
    bool tame(const std::vector<int>& idx, Cell target, GridSize g) const {
        auto near_one = [&](double c, double r) {
            const double w = h[6] * (c - mc) + h[7] * (r - mr) + 1;
            return w > TAME_W_LOW && w < TAME_W_HIGH;
        };
        for (int k : idx)
            if (!near_one(k / g.rows, k % g.rows)) return false;
        return near_one(target.c, target.r);
    }
    // Board units per grid step around (c, r), the smaller of the two ways.
    double spacing(double c, double r) const {
        const point a = at(c - 0.5, r), b = at(c + 0.5, r), d = at(c, r - 0.5), e = at(c, r + 0.5);
        return std::min(std::hypot(b.x - a.x, b.y - a.y), std::hypot(e.x - d.x, e.y - d.y));
    }
};

bool fit_projective(GridSize g, const Pos board[], const std::vector<int>& idx, Projective* p) {
    if (idx.size() < 4) return false;
    double mc = 0, mr = 0, mx = 0, my = 0;
    for (int k : idx) {
        const Cell q = cell(g, k);
        mc += q.c, mr += q.r, mx += board[k].x, my += board[k].y;
    }
    const double n = double(idx.size());
    mc /= n, mr /= n, mx /= n, my /= n;
    double spread = 0;
    for (int k : idx) spread += std::hypot(board[k].x - mx, board[k].y - my);
    spread /= n;
    if (spread == 0) return false;
    std::vector<double> m(64, 0.0), v(8, 0.0);
    auto add = [&](const double row[8], double rhs) {
        for (int i = 0; i < 8; ++i) {
            for (int j = 0; j < 8; ++j) m[i * 8 + j] += row[i] * row[j];
            v[i] += row[i] * rhs;
        }
    };
    for (int k : idx) {
        const Cell q = cell(g, k);
        const double c = q.c - mc, r = q.r - mr;
        const double x = (board[k].x - mx) / spread, y = (board[k].y - my) / spread;
        const double rx[8] = {c, r, 1, 0, 0, 0, -c * x, -r * x};
        const double ry[8] = {0, 0, 0, c, r, 1, -c * y, -r * y};
        add(rx, x);
        add(ry, y);
    }
    if (!solve(m, v, 8)) return false;
    for (int i = 0; i < 8; ++i) p->h[i] = v[i];
    p->mc = mc, p->mr = mr, p->mx = mx, p->my = my, p->scale = spread;
    return true;
}

// The measured targets among candidates nearest to target k, as many as a
// fit needs (more when the nearest lie on a line).
std::vector<int> nearest(GridSize g, int k, std::vector<int> candidates) {
    std::stable_sort(candidates.begin(), candidates.end(), [&](int a, int b) {
        return grid_distance2(g, a, k) < grid_distance2(g, b, k);
    });
    if (candidates.size() > size_t(NEIGHBOURS)) candidates.resize(NEIGHBOURS);
    return candidates;
}

// A prediction's distance when the fit's grid step has no length: no board
// puts two targets on one spot, so the point is as far off as can be.
constexpr double NO_SPACING_OFF = 1e9;

// Target k against the projective map of its nearest neighbours (used), which
// follows a keystone; none when fewer than PROJECTIVE_POINTS or no tame map.
constexpr size_t PROJECTIVE_POINTS = 5;
std::optional<double> projective_off(GridSize g, const Pos board[], int k,
                                     const std::vector<int>& used) {
    Projective p{};
    if (used.size() < PROJECTIVE_POINTS || !fit_projective(g, board, used, &p) ||
        !p.tame(used, cell(g, k), g))
        return std::nullopt;
    const Cell t = cell(g, k);
    const point at = p.at(t.c, t.r);
    const double s = p.spacing(t.c, t.r);
    if (s > 0) return std::hypot(board[k].x - at.x, board[k].y - at.y) / s;
    return std::nullopt;
}

// Target k against the affine map of its nearest neighbours (used), else of
// all candidates; none when their cells all lie on one line.
std::optional<double> affine_off(GridSize g, const Pos board[], int k, const std::vector<int>& used,
                                 const std::vector<int>& candidates) {
    Affine a{};
    if (!fit(g, board, used, &a) && !fit(g, board, candidates, &a)) return std::nullopt;
    const Cell t = cell(g, k);
    const double px = a.ax * t.c + a.bx * t.r + a.ox, py = a.ay * t.c + a.by * t.r + a.oy;
    const double s = a.spacing();
    if (s == 0) return NO_SPACING_OFF;
    return std::hypot(board[k].x - px, board[k].y - py) / s;
}

// Target k against a fit along the one column or row that it and every
// candidate lie on (the other direction gets no weight); none when they do
// not share one.
std::optional<double> along_line_off(GridSize g, const Pos board[], int k,
                                     const std::vector<int>& candidates) {
    if (candidates.size() < 2) return std::nullopt;
    const Cell p = cell(g, candidates[0]), q = cell(g, candidates[1]), t = cell(g, k);
    const bool column = p.c == q.c && t.c == p.c, row = p.r == q.r && t.r == p.r;
    if (!column && !row) return std::nullopt;
    double st = 0, stt = 0, sx = 0, sy = 0, stx = 0, sty = 0, n = 0;
    for (int j : candidates) {
        const double u = column ? cell(g, j).r : cell(g, j).c;
        st += u, stt += u * u, sx += board[j].x, sy += board[j].y;
        stx += u * board[j].x, sty += u * board[j].y, n += 1;
    }
    const double det = n * stt - st * st;
    if (det == 0) return std::nullopt;
    const double dx = (n * stx - st * sx) / det, dy = (n * sty - st * sy) / det;
    const double u = column ? t.r : t.c;
    const double px = (sx - dx * st) / n + dx * u, py = (sy - dy * st) / n + dy * u;
    const double step = std::hypot(dx, dy);
    if (step == 0) return NO_SPACING_OFF;
    return std::hypot(board[k].x - px, board[k].y - py) / step;
}

// How far target k lies from where the candidates put it, in target
// spacings, by the first prediction that can be made; negative when none can.
double off_by(GridSize g, const Pos board[], int k, const std::vector<int>& candidates) {
    const std::vector<int> used = nearest(g, k, candidates);
    if (const auto off = projective_off(g, board, k, used)) return *off;
    if (const auto off = affine_off(g, board, k, used, candidates)) return *off;
    return along_line_off(g, board, k, candidates).value_or(-1);
}

// In doubles: stored points may lie anywhere in the int range.
double distance(Pos a, Pos b) { return std::hypot(double(a.x) - b.x, double(a.y) - b.y); }

// Whether the set's two grid steps, as the whole set's fit gives them, point
// in clearly different directions: the cell they span against the square of
// its longer side is about 0.3 even on the widest screen's 2 by 2 grid, and
// 0 when a board axis does not move or every point lies on one line.
constexpr double MIN_SPAN = 0.05;
bool spans_both_directions(GridSize g, const Pos board[], const std::vector<int>& idx) {
    Affine a{};
    if (!fit(g, board, idx, &a)) return false;
    const double longer = std::max(a.ax * a.ax + a.ay * a.ay, a.bx * a.bx + a.by * a.by);
    return longer > 0 && std::fabs(a.ax * a.by - a.ay * a.bx) >= MIN_SPAN * longer;
}

std::vector<int> all_but(int n, int skip1, int skip2 = -1) {
    std::vector<int> out;
    for (int j = 0; j < n; ++j)
        if (j != skip1 && j != skip2) out.push_back(j);
    return out;
}

}  // namespace

TargetCheck check_target(GridSize g, const Pos board[], int k) {
    const double off = k >= 2 ? off_by(g, board, k, all_but(k, k)) : -1;
    if (off > MISCLICK_TOLERANCE) {
        // One wrong earlier point must not turn every later one down: the
        // point fits when the others agree with it without that one, which
        // the whole set's check will then find.
        for (int j = 0; j < k; ++j) {
            const double without = off_by(g, board, k, all_but(k, j));
            if (without >= 0 && without <= MISCLICK_TOLERANCE) return {true, without};
        }
    }
    if (off >= 0) return {off <= MISCLICK_TOLERANCE, off};
    // No prediction yet: only a point on top of an earlier one is refused.
    return {point_on_top(g, board, k) < 0, 0};
}

int point_on_top(GridSize g, const Pos board[], int k) {
    const double least = least_step(g) * (1.0 / 3);
    for (int j = 0; j < k; ++j)
        if (distance(board[k], board[j]) < least) return j;
    return -1;
}

bool check_repeat(GridSize g, Pos refused, Pos again, const Pos board[], int k) {
    // The spacing as the earlier points show it, or the least a board has.
    double spacing = least_step(g);
    Affine a{};
    if (k >= 3 && fit(g, board, all_but(k, k), &a)) spacing = a.spacing();
    for (int j = 1; j < k && k < 3; ++j) spacing = distance(board[j], board[j - 1]);
    return distance(again, refused) <= MISCLICK_TOLERANCE * spacing;
}

int find_misclick(GridSize g, const Pos board[], int n) {
    if (!spans_both_directions(g, board, all_but(n, -1))) return MISCLICK_FLAT;
    int worst = -1;
    double worst_off = MISCLICK_TOLERANCE;
    for (int i = 0; i < n; ++i) {
        const double off = off_by(g, board, i, all_but(n, i));
        if (off > worst_off) worst = i, worst_off = off;
    }
    if (worst < 0) return -1;
    // The worst one is the misclick only when every other that can be judged
    // without it fits the rest, and some can.
    int judged = 0;
    for (int j = 0; j < n; ++j) {
        if (j == worst) continue;
        const double off = off_by(g, board, j, all_but(n, j, worst));
        if (off > MISCLICK_TOLERANCE) return MISCLICK_UNSOLVED;
        if (off >= 0) ++judged;
    }
    return judged > 0 ? worst : MISCLICK_UNSOLVED;
}
