#include "result_lines.h"

#include "panel_table.h"
#include "panel_text.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

namespace quadfind {

namespace {

std::string jsonString(const std::string& s) {
    // QJsonObject sorts its keys, so the line is assembled here in the
    // documented order and only the escaping is left to QJsonDocument.
    const QByteArray array = QJsonDocument(QJsonArray{QString::fromUtf8(s)}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();
}

} // namespace

std::string ResultText(const std::string& shownName, const PictureSurface& picture, const EdgeDetectionRun& run) {
    return shownName + ": " + std::to_string(picture.width()) + " x " + std::to_string(picture.height()) + ", " +
           std::to_string(run.scan.EdgeCount) + " edge pixels\n" + PanelText(ShownAfterRun(run.fields));
}

std::string ResultJsonLine(const std::string& file, const PictureSurface& picture, const EdgeDetectionRun& run) {
    std::string fields;
    for (const Field field : kFields) {
        const auto& text = run.fields[field];
        fields += (fields.empty() ? "\"" : ",\"") + FieldName(field) + "\":" + (text ? jsonString(*text) : "null");
    }
    return "{\"file\":" + jsonString(file) + ",\"width\":" + std::to_string(picture.width()) +
           ",\"height\":" + std::to_string(picture.height()) + ",\"edge_count\":" + std::to_string(run.scan.EdgeCount) +
           ",\"fields\":{" + fields + "}}\n";
}

} // namespace quadfind
