#include "cli/CommandTable.h"

#include "cli/Commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cli {

namespace {

QString text(const char *utf8) { return QString::fromUtf8(utf8); }

void toStderr(const QString &message)
{
    std::fputs(message.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void toStdout(const QString &message)
{
    const QByteArray bytes = message.toUtf8();
    writeOutput(bytes.constData(), std::size_t(bytes.size()));
    flushOutput();
}

// "[--pdf FILE]", "--data|--blank", "[--yes|--no]", "--csv|--xlsx|--pdf FILE"
QString optionWords(const Command &command)
{
    QStringList words;
    for (std::size_t i = 0; i < command.optionCount;) {
        const Option &first = command.options[i];
        std::size_t end = i + 1;
        while (first.group != 0 && end < command.optionCount && command.options[end].group == first.group)
            ++end;
        QStringList names;
        bool oneValue = true;
        for (std::size_t j = i; j < end; ++j) {
            names << text(command.options[j].name);
            const char *value = command.options[j].value;
            oneValue = oneValue && (value == first.value || (value && first.value && std::strcmp(value, first.value) == 0));
        }
        QString word;
        if (oneValue) {
            word = names.join(QLatin1Char('|'));
            if (first.value)
                word += QLatin1Char(' ') + text(first.value);
        } else {
            QStringList alternatives;
            for (std::size_t j = i; j < end; ++j)
                alternatives << text(command.options[j].name)
                                    + (command.options[j].value ? QLatin1Char(' ') + text(command.options[j].value) : QString());
            word = QLatin1Char('(') + alternatives.join(QLatin1String(" | ")) + QLatin1Char(')');
        }
        words << (first.required ? word : QLatin1Char('[') + word + QLatin1Char(']'));
        i = end;
    }
    return words.join(QLatin1Char(' '));
}

// The synopsis without the program's name.
QString commandLine(const Command &command)
{
    QString line = text(command.name);
    for (const QString &part : {text(command.operands), optionWords(command)})
        if (!part.isEmpty())
            line += QLatin1Char(' ') + part;
    return line;
}

// Two columns: the left texts padded to one width (the widest that fits),
// the right ones beside them; a left text too wide puts its right one on
// the line below.
using Rows = std::vector<std::pair<QString, QString>>;
constexpr int kWidest = 44;

int columnWidth(const Rows &rows)
{
    int width = 0;
    for (const auto &[left, right] : rows)
        if (left.size() <= kWidest)
            width = std::max(width, int(left.size()));
    return width;
}

QString row(const QString &left, const QString &right, int width)
{
    QString out = QStringLiteral("  ") + left;
    if (left.size() > kWidest)
        out += QLatin1Char('\n') + QString(width + 4, QLatin1Char(' '));
    else
        out += QString(width - int(left.size()) + 2, QLatin1Char(' '));
    return out + right + QLatin1Char('\n');
}

QString columns(const Rows &rows)
{
    const int width = columnWidth(rows);
    QString out;
    for (const auto &[left, right] : rows)
        out += row(left, right, width);
    return out;
}

const Option *findOption(const Command &command, const QString &name)
{
    for (std::size_t i = 0; i < command.optionCount; ++i)
        if (name == QLatin1String(command.options[i].name))
            return &command.options[i];
    return nullptr;
}

bool isHelp(const QString &word) { return word == QLatin1String("--help"); }

} // namespace

int Args::count(const char *option) const
{
    int n = 0;
    for (const auto &[name, value] : m_given)
        n += name == QLatin1String(option);
    return n;
}

QString Args::value(const char *option) const
{
    for (auto it = m_given.rbegin(); it != m_given.rend(); ++it)
        if (it->first == QLatin1String(option))
            return it->second;
    return {};
}

const char *Args::lastOf(std::initializer_list<const char *> options) const
{
    for (auto it = m_given.rbegin(); it != m_given.rend(); ++it)
        for (const char *option : options)
            if (it->first == QLatin1String(option))
                return option;
    return nullptr;
}

QString synopsis(const Command &command) { return text(kUserProgram) + QLatin1Char(' ') + commandLine(command); }

QString usageLine(const Command &command) { return QStringLiteral("用法：") + synopsis(command) + QLatin1Char('\n'); }

QString commandHelp(const Command &command)
{
    QString out = usageLine(command) + text(command.summary) + QLatin1Char('\n');
    std::vector<std::pair<QString, QString>> rows;
    for (std::size_t i = 0; i < command.optionCount; ++i) {
        const Option &o = command.options[i];
        rows.emplace_back(text(o.name) + (o.value ? QLatin1Char(' ') + text(o.value) : QString()), text(o.help));
    }
    rows.emplace_back(QStringLiteral("--help"), QStringLiteral("显示本说明"));
    out += QStringLiteral("选项：\n") + columns(rows);
    if (command.details)
        out += text(command.details) + QLatin1Char('\n');
    return out;
}

int usage(const Args &args)
{
    toStderr(usageLine(*args.command));
    return 2;
}

bool parse(const Command &command, const QStringList &args, Args &out)
{
    out = Args();
    out.command = &command;
    const auto fail = [&](const QString &message) {
        toStderr(QStringLiteral("%1 %2：%3\n").arg(text(kUserProgram), text(command.name), message) + usageLine(command));
        return false;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString &word = args[i];
        if ((command.verbatimTail && !out.positional.isEmpty()) || !word.startsWith(QLatin1String("--"))) {
            out.positional << word;
            continue;
        }
        if (isHelp(word)) {
            out.m_given.emplace_back(word, QString());
            continue;
        }
        const Option *option = findOption(command, word);
        if (!option)
            return fail(QStringLiteral("未知的选项 %1").arg(word));
        if (!option->value) {
            out.m_given.emplace_back(word, QString());
            continue;
        }
        if (i + 1 >= args.size())
            return fail(QStringLiteral("%1 后面缺少参数").arg(word));
        out.m_given.emplace_back(word, args[++i]);
    }
    return true;
}

int runCommand(const Command &command, Runner run, const QStringList &args)
{
    Args parsed;
    if (!parse(command, args, parsed))
        return 2;
    if (parsed.has("--help")) {
        toStdout(commandHelp(command));
        return 0;
    }
    return run(parsed);
}

const Entry *findEntry(const Program &program, const char *name)
{
    for (std::size_t s = 0; s < program.sectionCount; ++s)
        for (std::size_t e = 0; e < program.sections[s].count; ++e)
            if (std::strcmp(program.sections[s].entries[e].command->name, name) == 0)
                return &program.sections[s].entries[e];
    return nullptr;
}

QString programHelp(const Program &program)
{
    const QString name = text(program.name);
    const Rows own{{QStringLiteral("--help"), QStringLiteral("显示本说明；“%1 命令 --help”显示该命令的说明和选项").arg(name)},
                   {QStringLiteral("--version"), QStringLiteral("显示版本")}};
    // One width for the whole list: every section and the program's own
    // options line up.
    Rows all = own;
    for (std::size_t s = 0; s < program.sectionCount; ++s)
        for (std::size_t e = 0; e < program.sections[s].count; ++e) {
            const Command &c = *program.sections[s].entries[e].command;
            all.emplace_back(commandLine(c), text(c.summary));
        }
    const int width = columnWidth(all);
    QString out = QStringLiteral("用法：%1 命令 [参数...]\n").arg(name);
    for (std::size_t s = 0; s < program.sectionCount; ++s) {
        if (program.sections[s].heading)
            out += text(program.sections[s].heading) + QLatin1Char('\n');
        for (std::size_t e = 0; e < program.sections[s].count; ++e) {
            const Command &c = *program.sections[s].entries[e].command;
            out += row(commandLine(c), text(c.summary), width);
        }
    }
    for (const auto &[left, right] : own)
        out += row(left, right, width);
    if (program.footer)
        out += text(program.footer) + QLatin1Char('\n');
    return out;
}

int dispatch(const Program &program, const QStringList &args,
             const std::function<int(const Command &, const QStringList &)> &handOver)
{
    if (args.isEmpty()) {
        toStderr(programHelp(program));
        return 2;
    }
    const QString name = args.first();
    if (isHelp(name) || name == QLatin1String("-h")) {
        toStdout(programHelp(program));
        return 0;
    }
    if (name == QLatin1String("--version")) {
        toStdout(QStringLiteral("%1 %2\n").arg(text(program.name), text(program.version)));
        return 0;
    }
    const Entry *entry = findEntry(program, name.toUtf8().constData());
    if (!entry) {
        toStderr(QStringLiteral("%1：没有命令 %2\n").arg(text(program.name), name) + programHelp(program));
        return 2;
    }
    const QStringList rest = args.mid(1);
    if (!entry->run)
        return handOver(*entry->command, rest);
    return runCommand(*entry->command, entry->run, rest);
}

} // namespace cli
