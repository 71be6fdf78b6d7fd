#include "app/helpdocs/Rtf.h"

namespace helpdocs {

namespace {
// Fonts: f0 body (SimSun), f1 headings (SimHei), f2 Latin (Arial).
// Colours: cf1 black, cf2 heading blue-grey, cf3 grey.
const char *kHeader =
    "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang2052\\uc1\n"
    "{\\fonttbl{\\f0\\froman\\fcharset134 SimSun;}{\\f1\\fswiss\\fcharset134 SimHei;}"
    "{\\f2\\fswiss\\fcharset0 Arial;}}\n"
    "{\\colortbl;\\red0\\green0\\blue0;\\red44\\green66\\blue92;\\red96\\green104\\blue112;"
    "\\red226\\green232\\blue238;}\n";

const char *kBody = "\\f0\\fs21\\cf1 "; // 10.5 pt, the usual 五号 body size
} // namespace

RtfDocument::RtfDocument(const QString &title) : m_title(title) {}

QByteArray RtfDocument::escape(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 3);
    for (const QChar ch : text) {
        const ushort u = ch.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\n') {
            out += "\\line ";
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u == '\r') {
            continue;
        } else if (u >= 0x20 && u < 0x7F) {
            out += char(u);
        } else if (u < 0x20) {
            continue; // other control characters have no place in a document
        } else {
            // RTF takes a signed 16-bit number; '?' is the fallback character
            // a reader skips (\uc1).
            out += "\\u" + QByteArray::number(int(short(u))) + '?';
        }
    }
    return out;
}

void RtfDocument::title(const QString &text)
{
    m_body += "{\\pard\\qc\\sb240\\sa120\\keepn\\f1\\fs36\\b\\cf2 " + escape(text) + "\\par}\n";
}

void RtfDocument::subtitle(const QString &text)
{
    m_body += "{\\pard\\qc\\sa360\\f0\\fs24\\cf3 " + escape(text) + "\\par}\n";
}

void RtfDocument::heading1(const QString &text)
{
    m_body += "{\\pard\\sb360\\sa160\\keepn\\f1\\fs30\\b\\cf2 " + escape(text) + "\\par}\n";
}

void RtfDocument::heading2(const QString &text)
{
    m_body += "{\\pard\\sb240\\sa120\\keepn\\f1\\fs26\\b\\cf2 " + escape(text) + "\\par}\n";
}

void RtfDocument::heading3(const QString &text)
{
    m_body += "{\\pard\\sb160\\sa80\\keepn\\f1\\fs22\\b\\cf1 " + escape(text) + "\\par}\n";
}

void RtfDocument::paragraph(const QString &text)
{
    m_body += QByteArray("{\\pard\\sa120\\sl320\\slmult1\\fi420") + kBody + escape(text) + "\\par}\n";
}

void RtfDocument::labelled(const QString &label, const QString &text)
{
    m_body += QByteArray("{\\pard\\sa120\\sl320\\slmult1") + kBody + "{\\b " + escape(label) + "}" + escape(text)
        + "\\par}\n";
}

void RtfDocument::bullet(const QString &text)
{
    // A hanging indent with a bullet character (U+2022).
    m_body += QByteArray("{\\pard\\sa60\\li720\\fi-300") + kBody + "\\u8226?\\tab " + escape(text) + "\\par}\n";
}

void RtfDocument::numbered(int number, const QString &text)
{
    m_body += QByteArray("{\\pard\\sa60\\li720\\fi-360") + kBody + QByteArray::number(number) + ".\\tab "
        + escape(text) + "\\par}\n";
}

void RtfDocument::table(const std::vector<int> &widths, const std::vector<QStringList> &rows, bool header)
{
    const QByteArray border = "\\clbrdrt\\brdrs\\brdrw8\\clbrdrl\\brdrs\\brdrw8"
                              "\\clbrdrb\\brdrs\\brdrw8\\clbrdrr\\brdrs\\brdrw8";
    for (size_t r = 0; r < rows.size(); ++r) {
        const bool isHeader = header && r == 0;
        QByteArray row = "\\trowd\\trgaph80\\trleft0\\trqc";
        if (isHeader)
            row += "\\trhdr"; // repeat the header row on every page
        int right = 0;
        for (int w : widths) {
            right += w;
            row += border;
            if (isHeader)
                row += "\\clcbpat4";
            row += "\\clvertalc\\cellx" + QByteArray::number(right);
        }
        row += '\n';
        for (size_t c = 0; c < widths.size(); ++c) {
            const QString cell = c < size_t(rows[r].size()) ? rows[r].at(int(c)) : QString();
            row += QByteArray("\\pard\\intbl\\sa20") + "\\f0\\fs19\\cf1 " + (isHeader ? "\\b " : "") + escape(cell)
                + (isHeader ? "\\b0" : "") + "\\cell\n";
        }
        row += "\\row\n";
        m_body += row;
    }
    m_body += "\\pard\\sa120\\par\n";
}

void RtfDocument::pageBreak() { m_body += "\\pard\\page\n"; }

QByteArray RtfDocument::toRtf() const
{
    QByteArray out = kHeader;
    out += "{\\info{\\title " + escape(m_title) + "}}\n";
    // A4 with 2.5 cm / 2 cm margins.
    out += "\\paperw11906\\paperh16838\\margl1418\\margr1418\\margt1134\\margb1134\\viewkind1\n";
    out += m_body;
    out += "}\n";
    return out;
}

} // namespace helpdocs
