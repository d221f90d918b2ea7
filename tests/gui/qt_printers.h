// Readable failure messages for the Qt and core values the GUI suites compare.
#pragma once

#include "picture_surface.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << '(' << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ')';
}
inline void PrintTo(const QPoint& p, std::ostream* os) {
    *os << '(' << p.x() << ", " << p.y() << ')';
}
inline void PrintTo(const QSize& s, std::ostream* os) {
    *os << s.width() << " x " << s.height();
}

namespace quadfind {
// The size only: a picture's raw bytes tell nothing in a failure message.
inline void PrintTo(const PictureSurface& p, std::ostream* os) {
    *os << p.width() << " x " << p.height() << " picture";
}
} // namespace quadfind
