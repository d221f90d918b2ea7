#include "window_font.h"

#include <QFontDatabase>
#include <QStringList>

#include <stdexcept>
#include <string>

// The resources live in a static library; nothing references their object
// file, so the linker would drop it without this explicit initialisation.
static void InitWindowResources() {
    Q_INIT_RESOURCE(quadfind);
}

namespace quadfind {

QString RegisterBundledFont() {
    static const QString family = [] {
        InitWindowResources();
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kBundledFontPath));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (id < 0 || families.isEmpty())
            throw std::runtime_error(std::string("Cannot load the bundled font ") + kBundledFontPath);
        return families.first();
    }();
    return family;
}

QFont WindowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), RegisterBundledFont()});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace quadfind
