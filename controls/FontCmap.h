#pragma once
// A copy of one face of an OpenType/TrueType font (or of a font collection)
// whose character map no longer sends look-alike code points to the glyphs of
// the CJK unified ideographs.
//
// Why: the CJK faces map the Kangxi radicals (U+2F00–U+2FDF), the CJK
// radicals supplement (U+2E80–U+2EFF) and a few other forms to the very glyph
// of an ideograph (⽬ and 目 share one glyph). When Qt writes a PDF it tells
// the reader which text each glyph stands for by taking, for every glyph, the
// lowest code point the font maps to it, so 目 would come back from the PDF
// as ⽬ and a saved form could not be searched or copied from. In the copy
// each such glyph is reached from its ideograph alone; a genuine radical in
// the text then falls back to the next font, which keeps its own meaning.
#include <QByteArray>
#include <QList>
#include <QString>

namespace ui {

// The face `faceIndex` of `fontFile` (a single font or a collection) as a
// standalone font named `family` with the cleaned character map. Every other
// table is copied as it is. Returns an empty array when the data is not a
// font this can read.
// The English family and style names of each face of a font file (one for a
// single font, one per face of a collection), in face order.
struct FaceName {
    QString family;
    QString style;
};
QList<FaceName> faceNames(const QByteArray &fontFile);

QByteArray fontWithIdeographGlyphsOnly(const QByteArray &fontFile, int faceIndex, const QString &family);

} // namespace ui
