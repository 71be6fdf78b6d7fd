#include "controls/Fonts.h"

#include "controls/FontCmap.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

#include <future>
#include <mutex>

#include "report/Prepared.h"

#ifdef Q_OS_WIN
#include <QDir>
#include <QRegularExpression>
#else
#include <fontconfig/fontconfig.h>
#endif

namespace ui {

namespace {

// The faces of `family` at regular and bold weight, as files and face indexes.
struct FaceFile {
    QString path;
    int index;
};
#ifdef Q_OS_WIN
// Windows has no fontconfig: the faces are looked for in the system's and the
// user's font folders, among the files a family is known to come in, by the
// names inside them.
QList<FaceFile> regularAndBoldFaces(const QString &family)
{
    QList<FaceFile> faces;
    QStringList patterns;
    if (family == QLatin1String("SimSun"))
        patterns = {QStringLiteral("simsun*.tt?")};
    else if (family == QLatin1String("Noto Serif CJK SC"))
        patterns = {QStringLiteral("NotoSerifCJK*.tt?"), QStringLiteral("NotoSerifCJK*.otf"),
                    QStringLiteral("NotoSerifSC*.otf")};
    else
        return faces;
    const QStringList folders{
        QDir::fromNativeSeparators(qEnvironmentVariable("WINDIR", QStringLiteral("C:/Windows"))) + QStringLiteral("/Fonts"),
        QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA")) + QStringLiteral("/Microsoft/Windows/Fonts")};
    for (const QString &folder : folders) {
        const QDir dir(folder);
        if (folder.startsWith(QLatin1Char('/')) || !dir.exists())
            continue;
        for (const QString &name : dir.entryList(patterns, QDir::Files)) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const uchar *mapped = file.map(0, file.size());
            if (!mapped)
                continue;
            const QList<FaceName> names =
                faceNames(QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), file.size()));
            for (int i = 0; i < names.size(); ++i)
                if (names[i].family == family
                    && (names[i].style == QLatin1String("Regular") || names[i].style == QLatin1String("Bold")))
                    faces.append({file.fileName(), i});
        }
    }
    return faces;
}
#else
QList<FaceFile> regularAndBoldFaces(const QString &family)
{
    QList<FaceFile> faces;
    if (!FcInit())
        return faces;
    FcPattern *pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.constData()));
    FcObjectSet *objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_WEIGHT, FC_SLANT, nullptr);
    FcFontSet *set = FcFontList(nullptr, pattern, objects);
    for (int i = 0; set && i < set->nfont; ++i) {
        FcChar8 *file = nullptr;
        int index = 0, weight = 0, slant = 0;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch
            || FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index) != FcResultMatch)
            continue;
        FcPatternGetInteger(set->fonts[i], FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(set->fonts[i], FC_SLANT, 0, &slant);
        if (slant == FC_SLANT_ROMAN && (weight == FC_WEIGHT_REGULAR || weight == FC_WEIGHT_BOLD))
            faces.append({QString::fromUtf8(reinterpret_cast<const char *>(file)), index});
    }
    if (set)
        FcFontSetDestroy(set);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return faces;
}
#endif

// Copies of the system's `source` faces whose glyphs stand for the
// ideographs alone (see FontCmap.h), named `family`, so that a PDF's text
// reads back as it was drawn; none when the source faces are missing. Pure
// byte work: it runs beside the window's start.
QList<QByteArray> ideographFaces(const QString &source, const QString &family)
{
    QList<QByteArray> fonts;
    for (const FaceFile &face : regularAndBoldFaces(source)) {
        QFile file(face.path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const uchar *mapped = file.map(0, file.size());
        if (!mapped)
            continue;
        QByteArray font = fontWithIdeographGlyphsOnly(
            QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), file.size()), face.index, family);
        if (!font.isEmpty())
            fonts.append(std::move(font));
    }
    return fonts;
}

QList<QByteArray> buildPrintFaces()
{
#ifdef Q_OS_WIN
    // Windows has 宋体 (SimSun) itself; the printing face is made from it, or
    // from Noto Serif CJK SC where it is missing (a system without Chinese
    // fonts installed).
    QList<QByteArray> faces = ideographFaces(QStringLiteral("SimSun"), printSerifFamily());
    if (faces.isEmpty())
        faces = ideographFaces(QStringLiteral("Noto Serif CJK SC"), printSerifFamily());
    return faces;
#else
    return ideographFaces(QStringLiteral("Noto Serif CJK SC"), printSerifFamily());
#endif
}

// The printing face is some 40 MB and ~70 ms of work: made when the first
// form is laid out, or beside the start once the main window is shown.
struct PrintFace {
    std::mutex mutex;
    std::future<QList<QByteArray>> building;
    bool started = false;
};

PrintFace &printFace()
{
    static PrintFace face;
    return face;
}

void registerPrintFace()
{
    PrintFace &face = printFace();
    QList<QByteArray> fonts;
    {
        const std::lock_guard<std::mutex> hold(face.mutex);
        fonts = face.started ? face.building.get() : buildPrintFaces();
        face.started = true;
    }
    bool any = false;
    for (const QByteArray &font : fonts)
        any = QFontDatabase::addApplicationFontFromData(font) >= 0 || any;
    // Every form names 宋体; its text is drawn with the printing face.
    if (any)
        for (const char *name : {"宋体", "SimSun", "新宋体", "NSimSun"})
            report::drawFamilyAs(QString::fromUtf8(name), printSerifFamily());
}

// The system's fonts being loaded beside the program's start.
std::future<void> &systemFontsLoading()
{
    static std::future<void> loading;
    return loading;
}

} // namespace

QString printSerifFamily() { return QStringLiteral("PDeclare Serif SC"); }

void preparePrintFaceInBackground()
{
    PrintFace &face = printFace();
    const std::lock_guard<std::mutex> hold(face.mutex);
    if (face.started)
        return;
    face.started = true;
    face.building = std::async(std::launch::async, buildPrintFaces);
}

void loadSystemFontsInBackground()
{
#ifndef Q_OS_WIN
    // fontconfig's own configuration is made once per process and shared:
    // the font database of the windowing takes the one loaded here.
    std::future<void> &loading = systemFontsLoading();
    if (!loading.valid())
        loading = std::async(std::launch::async, [] { FcInit(); });
#endif
}

void installFontSubstitutions()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (systemFontsLoading().valid())
        systemFontsLoading().wait();
    report::prepareFacesWith(registerPrintFace);
#ifdef Q_OS_WIN
    const QStringList serif{QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                            QStringLiteral("Microsoft YaHei"), QStringLiteral("SimHei")};
    const QStringList sans{QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"),
                           QStringLiteral("Tahoma")};
    const QStringList kai{QStringLiteral("KaiTi"), QStringLiteral("SimKai"), QStringLiteral("SimSun"),
                          QStringLiteral("Noto Serif CJK SC")};
#else
    const QStringList serif{QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                            QStringLiteral("Noto Sans CJK SC")};
    const QStringList sans{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans"),
                           QStringLiteral("AR PL UKai CN")};
    const QStringList kai{QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai"),
                          QStringLiteral("Noto Serif CJK SC")};
#endif
    for (const char *name : {"宋体", "SimSun", "新宋体", "NSimSun"})
        QFont::insertSubstitutions(QString::fromUtf8(name), serif);
    for (const char *name : {"MS Sans Serif", "Tahoma", "MS Shell Dlg", "MS Shell Dlg 2"})
        QFont::insertSubstitutions(QString::fromUtf8(name), sans);
    for (const char *name : {"楷体_GB2312", "楷体", "KaiTi", "KaiTi_GB2312"})
        QFont::insertSubstitutions(QString::fromUtf8(name), kai);
    for (const char *name : {"华文新魏", "STXinwei"})
        QFont::insertSubstitutions(QString::fromUtf8(name), kai + sans);
}

} // namespace ui
