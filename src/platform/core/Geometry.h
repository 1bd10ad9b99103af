#pragma once

#include <QRectF>

namespace quorvia::platform {

// Global space: origin at the bottom-left of the primary screen, y growing
// upwards. Every frame, placement and private-window check computes in this
// one space; only toQt/fromQt (and ScreenSpace) meet Qt's y-down one.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    Rect(Point o, Size s) : origin(o), size(s) {}

    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
    double midX() const { return origin.x + size.width / 2; }
    double midY() const { return origin.y + size.height / 2; }
    double width() const { return size.width; }
    double height() const { return size.height; }
    bool isEmpty() const { return size.width <= 0 || size.height <= 0; }

    // Half-open: a point on the max edges lies outside.
    bool contains(Point p) const;
    bool contains(const Rect& r) const;
    bool intersects(const Rect& r) const;
    Rect intersection(const Rect& r) const; // empty Rect() when disjoint
    Rect unionWith(const Rect& r) const;
    Rect insetBy(double dx, double dy) const;
    Rect offsetBy(double dx, double dy) const;

    friend bool operator==(const Rect&, const Rect&) = default;
};

// Qt's space has its origin at the top-left of the primary screen with y down.
QRectF toQt(const Rect& r, double primaryScreenHeight);
Rect fromQt(const QRectF& r, double primaryScreenHeight);
QPointF toQt(Point p, double primaryScreenHeight);
Point fromQt(QPointF p, double primaryScreenHeight);

} // namespace quorvia::platform
