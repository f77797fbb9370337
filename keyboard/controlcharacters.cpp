#include "keyboard/controlcharacters.h"

#include "core/characters.h"
#include "core/operationerror.h"
#include "keyboard/typedtext.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace {

// The ASCII names of U+0000 to U+001F.
constexpr std::array<const char *, 32> C0Names = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT", "LF",  "VT",  "FF", "CR", "SO", "SI",
    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS", "GS", "RS", "US"};
constexpr char32_t Delete = 0x7f;
constexpr const char *DeleteName = "DEL";
constexpr char32_t Tab = 0x09;

std::optional<char32_t> characterNamed(const QString &name)
{
    const auto is = [&name](const char *known) { return name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0; };
    for (char32_t c = 0; c < C0Names.size(); ++c) {
        if (is(C0Names[c]))
            return c;
    }
    if (is("TAB"))
        return Tab;
    if (is(DeleteName))
        return Delete;
    return std::nullopt;
}

// "GS (U+001D)"; a C1 control has no ASCII name: "C1 (U+0085)".
QString described(char32_t c)
{
    const QString name = c < C0Names.size() ? QLatin1String(C0Names[c])
                         : c == Delete      ? QLatin1String(DeleteName)
                                            : QStringLiteral("C1");
    return QStringLiteral("%1 (%2)").arg(name, codePointText(c));
}

// Why an entry cannot be used, or an empty text when it can.
QString fault(const std::optional<char32_t> &c, const QString &value, const std::map<char32_t, QString> &table)
{
    if (!c)
        return QStringLiteral("no control character has that name; the names are NUL to US and DEL, as in the "
                              "ASCII table (TAB may stand for HT)");
    if (table.count(*c))
        return QStringLiteral("%1 is listed before; the first entry is used").arg(described(*c));
    for (const QChar unit : value) {
        if (isControlCharacter(unit.unicode()))
            return QStringLiteral("the text to type holds the control character %1").arg(described(unit.unicode()));
    }
    if (const qsizetype length = value.toUcs4().size(); length > ControlCharacters::LongestReplacement)
        return QStringLiteral("the text to type has %1 characters, more than %2")
            .arg(length)
            .arg(ControlCharacters::LongestReplacement);
    return {};
}

} // namespace

ControlCharacters ControlCharacters::fromEntries(const QList<std::pair<QString, QString>> &entries,
                                                 QStringList *rejected)
{
    ControlCharacters table;
    for (const auto &[key, value] : entries) {
        const std::optional<char32_t> c = characterNamed(key);
        if (const QString why = fault(c, value, table.m_replacements); !why.isEmpty())
            rejected->append(QStringLiteral("%1 ignored: %2").arg(OperationError::quoted(key + u'=' + value), why));
        else
            table.m_replacements.emplace(*c, value);
    }
    return table;
}

ControlCharacters::Replaced ControlCharacters::replace(const QString &text) const
{
    Replaced replaced;
    replaced.text.reserve(text.size());
    std::vector<std::pair<char32_t, int>> dropped; // in the order first seen
    // Control characters are single UTF-16 units; the rest is copied as is.
    for (const QChar unit : text) {
        const char32_t c = unit.unicode();
        const auto entry = m_replacements.find(c);
        if (entry != m_replacements.end()) {
            replaced.text += entry->second;
        } else if (!isControlCharacter(c) || TypedText::typesAsKey(c)) {
            replaced.text += unit;
        } else {
            auto counted = std::find_if(dropped.begin(), dropped.end(), [c](const auto &d) { return d.first == c; });
            if (counted == dropped.end())
                dropped.emplace_back(c, 1);
            else
                ++counted->second;
        }
    }
    QStringList names;
    for (const auto &[c, count] : dropped)
        names << QStringLiteral("%1 ×%2").arg(described(c)).arg(count);
    replaced.notTyped = names.join(QStringLiteral(", "));
    return replaced;
}
