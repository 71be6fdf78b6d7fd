#pragma once
// A small writer of Rich Text Format documents, enough for the help
// documents delivered beside the program: headings, paragraphs, bullets and
// ruled tables. The output is 7-bit ASCII; every character outside it is
// written as a \uN? escape (UTF-16 units, signed), which Word, WordPad and
// LibreOffice all read, with the GBK code page (936) declared for readers
// that look for one.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace helpdocs {

class RtfDocument {
public:
    explicit RtfDocument(const QString &title);

    void title(const QString &text);       // centred, large, bold
    void subtitle(const QString &text);    // centred, grey
    void heading1(const QString &text);
    void heading2(const QString &text);
    void heading3(const QString &text);
    // A body paragraph; '\n' in the text is a line break inside it.
    void paragraph(const QString &text);
    // A paragraph that starts with a bold label ("提示：").
    void labelled(const QString &label, const QString &text);
    void bullet(const QString &text);
    void numbered(int number, const QString &text);
    // A ruled table. widths are the columns' widths in twips (1/1440 inch);
    // with header, the first row is bold and shaded.
    void table(const std::vector<int> &widths, const std::vector<QStringList> &rows, bool header = true);
    void pageBreak();

    QByteArray toRtf() const;

    // Text escaped for RTF: \ { } escaped, line breaks as \line, tabs as
    // \tab, every non-ASCII UTF-16 unit as \uN?.
    static QByteArray escape(const QString &text);

private:
    QString m_title;
    QByteArray m_body;
};

} // namespace helpdocs
