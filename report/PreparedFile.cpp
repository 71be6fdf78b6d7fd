// The prepared-report file (extension ".prp"): UTF-8 JSON, one object.
//
//   {
//     "format":  "PDeclare prepared report",
//     "version": 1,
//     "title":   "<report title>",
//     "pages": [
//       { "width": 210, "height": 297,              // mm
//         "texts": [ { "name": "Memo1",
//                      "x": 4.4, "y": 2.2, "w": 200.7, "h": 6.7,   // mm from the sheet's top-left
//                      "text": "<resolved text, may hold \n>",
//                      "font": "宋体", "size": 14, "bold": true,
//                      "halign": "left" | "center" | "right",
//                      "valign": "top" | "middle" | "bottom",
//                      "wrap": true, "insetX": 0.55, "insetY": 0.28, "spacing": 0.55 } ],
//         "lines": [ { "name": "Line1", "x1": 4.4, "y1": 16.6, "x2": 205.1, "y2": 16.6,
//                      "width": 0.8 } ] } ]
//   }
//
// Numbers are written in their shortest form that reads back to the same
// double, so loading a saved report gives exactly the report that was saved.
// Readers refuse a file of a later version. A member that is missing takes
// the value a new cell or line has.
#include "report/Prepared.h"

#include "store/FileIo.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

namespace report {

bool operator==(const TextCell &a, const TextCell &b)
{
    return a.name == b.name && a.rect.x() == b.rect.x() && a.rect.y() == b.rect.y() &&
           a.rect.width() == b.rect.width() && a.rect.height() == b.rect.height() && a.text == b.text &&
           a.fontFamily == b.fontFamily && a.fontPt == b.fontPt && a.bold == b.bold && a.hAlign == b.hAlign &&
           a.vAlign == b.vAlign && a.wordWrap == b.wordWrap && a.insetX == b.insetX && a.insetY == b.insetY &&
           a.lineSpacing == b.lineSpacing;
}

bool operator==(const Line &a, const Line &b)
{
    return a.name == b.name && a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2 && a.widthMm == b.widthMm;
}

bool operator==(const PreparedPage &a, const PreparedPage &b)
{
    if (a.widthMm != b.widthMm || a.heightMm != b.heightMm || a.texts.size() != b.texts.size() ||
        a.lines.size() != b.lines.size())
        return false;
    for (size_t i = 0; i < a.texts.size(); ++i)
        if (a.texts[i].cell != b.texts[i].cell)
            return false;
    for (size_t i = 0; i < a.lines.size(); ++i)
        if (a.lines[i].line != b.lines[i].line)
            return false;
    return true;
}

bool operator==(const PreparedReport &a, const PreparedReport &b)
{
    return a.title == b.title && a.pages == b.pages;
}

namespace {

const QString kFormat = QStringLiteral("PDeclare prepared report");
constexpr int kVersion = 1;

QString hName(HAlign a)
{
    switch (a) {
    case HAlign::Left: return QStringLiteral("left");
    case HAlign::Center: return QStringLiteral("center");
    case HAlign::Right: return QStringLiteral("right");
    }
    return QStringLiteral("left");
}

QString vName(VAlign a)
{
    switch (a) {
    case VAlign::Top: return QStringLiteral("top");
    case VAlign::Middle: return QStringLiteral("middle");
    case VAlign::Bottom: return QStringLiteral("bottom");
    }
    return QStringLiteral("middle");
}

[[noreturn]] void bad(const QString &path, const QString &why)
{
    throw store::Error(store::ErrorKind::CorruptFile, QStringLiteral("文件“%1”不是可以打开的预览报表：%2").arg(path, why));
}

double number(const QJsonObject &o, const char *key, double fallback)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toDouble() : fallback;
}

} // namespace

void PreparedReport::save(const QString &path) const
{
    QJsonArray pagesJson;
    for (const PreparedPage &page : pages) {
        QJsonArray texts, lines;
        for (const PreparedText &t : page.texts) {
            const TextCell &c = t.cell;
            texts.append(QJsonObject{{QStringLiteral("name"), c.name},
                                     {QStringLiteral("x"), c.rect.x()},
                                     {QStringLiteral("y"), c.rect.y()},
                                     {QStringLiteral("w"), c.rect.width()},
                                     {QStringLiteral("h"), c.rect.height()},
                                     {QStringLiteral("text"), c.text},
                                     {QStringLiteral("font"), c.fontFamily},
                                     {QStringLiteral("size"), c.fontPt},
                                     {QStringLiteral("bold"), c.bold},
                                     {QStringLiteral("halign"), hName(c.hAlign)},
                                     {QStringLiteral("valign"), vName(c.vAlign)},
                                     {QStringLiteral("wrap"), c.wordWrap},
                                     {QStringLiteral("insetX"), c.insetX},
                                     {QStringLiteral("insetY"), c.insetY},
                                     {QStringLiteral("spacing"), c.lineSpacing}});
        }
        for (const PreparedLine &pl : page.lines) {
            const Line &l = pl.line;
            lines.append(QJsonObject{{QStringLiteral("name"), l.name},
                                     {QStringLiteral("x1"), l.x1},
                                     {QStringLiteral("y1"), l.y1},
                                     {QStringLiteral("x2"), l.x2},
                                     {QStringLiteral("y2"), l.y2},
                                     {QStringLiteral("width"), l.widthMm}});
        }
        pagesJson.append(QJsonObject{{QStringLiteral("width"), page.widthMm},
                                     {QStringLiteral("height"), page.heightMm},
                                     {QStringLiteral("texts"), texts},
                                     {QStringLiteral("lines"), lines}});
    }
    const QJsonObject root{{QStringLiteral("format"), kFormat},
                           {QStringLiteral("version"), kVersion},
                           {QStringLiteral("title"), title},
                           {QStringLiteral("pages"), pagesJson}};
    // Through the program's file layer (a file replaced whole, a pipe or
    // device written into, a link kept).
    try {
        store::fileio::replaceFile(path, QJsonDocument(root).toJson(QJsonDocument::Compact));
    } catch (const store::Error &e) {
        throw store::Error(e, QStringLiteral("无法保存预览报表：%1").arg(e.message()));
    }
}

PreparedReport PreparedReport::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw store::Error(file.error() == QFileDevice::OpenError && !file.exists() ? store::ErrorKind::NotFound
                                                                                     : store::ErrorKind::Io,
                           QStringLiteral("无法打开预览报表“%1”：%2").arg(path, file.errorString()));
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        bad(path, QStringLiteral("内容无法识别"));
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != kFormat)
        bad(path, QStringLiteral("内容无法识别"));
    const int version = root.value(QStringLiteral("version")).toInt(0);
    if (version < 1 || version > kVersion)
        bad(path, QStringLiteral("文件版本 %1 不受支持").arg(version));

    const TextCell defaults;
    const Line lineDefaults;
    PreparedReport out;
    out.title = root.value(QStringLiteral("title")).toString();
    for (const QJsonValue &pv : root.value(QStringLiteral("pages")).toArray()) {
        if (!pv.isObject())
            bad(path, QStringLiteral("页面数据有误"));
        const QJsonObject po = pv.toObject();
        PreparedPage page;
        page.widthMm = number(po, "width", 210.0);
        page.heightMm = number(po, "height", 297.0);
        if (!(page.widthMm > 0 && page.heightMm > 0 && page.widthMm < 10000 && page.heightMm < 10000))
            bad(path, QStringLiteral("页面尺寸有误"));
        for (const QJsonValue &tv : po.value(QStringLiteral("texts")).toArray()) {
            const QJsonObject o = tv.toObject();
            TextCell c;
            c.name = o.value(QStringLiteral("name")).toString();
            c.rect = QRectF(number(o, "x", 0), number(o, "y", 0), number(o, "w", 0), number(o, "h", 0));
            c.text = o.value(QStringLiteral("text")).toString();
            c.fontFamily = o.value(QStringLiteral("font")).toString(defaults.fontFamily);
            c.fontPt = number(o, "size", defaults.fontPt);
            if (!(c.fontPt > 0 && c.fontPt < 1000))
                bad(path, QStringLiteral("字号有误"));
            c.bold = o.value(QStringLiteral("bold")).toBool(defaults.bold);
            const QString h = o.value(QStringLiteral("halign")).toString();
            c.hAlign = h == QLatin1String("center") ? HAlign::Center
                     : h == QLatin1String("right")  ? HAlign::Right
                                                    : HAlign::Left;
            const QString v = o.value(QStringLiteral("valign")).toString(QStringLiteral("middle"));
            c.vAlign = v == QLatin1String("top") ? VAlign::Top
                     : v == QLatin1String("bottom") ? VAlign::Bottom
                                                    : VAlign::Middle;
            c.wordWrap = o.value(QStringLiteral("wrap")).toBool(defaults.wordWrap);
            c.insetX = number(o, "insetX", defaults.insetX);
            c.insetY = number(o, "insetY", defaults.insetY);
            c.lineSpacing = number(o, "spacing", defaults.lineSpacing);
            page.texts.push_back(PreparedText{c});
        }
        for (const QJsonValue &lv : po.value(QStringLiteral("lines")).toArray()) {
            const QJsonObject o = lv.toObject();
            Line l;
            l.name = o.value(QStringLiteral("name")).toString();
            l.x1 = number(o, "x1", 0);
            l.y1 = number(o, "y1", 0);
            l.x2 = number(o, "x2", 0);
            l.y2 = number(o, "y2", 0);
            l.widthMm = number(o, "width", lineDefaults.widthMm);
            page.lines.push_back(PreparedLine{l});
        }
        out.pages.push_back(std::move(page));
    }
    return out;
}

} // namespace report
