#include "keyboard/wayland/activelayout.h"

// GIO before Qt: its headers name a member `signals`, a macro of Qt's.
#include <gio/gio.h>

#include "core/report.h"
#include "keyboard/xkbhandles.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <xkbcommon/xkbregistry.h>

#include <algorithm>
#include <utility>

namespace {

// How long KWin may take to say its layout.
constexpr int KWinTimeoutMs = 1000;

using InputSource = std::pair<std::string, std::string>; // type ("xkb"), id ("de+nodeadkeys")

std::vector<InputSource> inputSources(GSettings *settings, const char *key)
{
    std::vector<InputSource> sources;
    GVariant *value = g_settings_get_value(settings, key);
    GVariantIter iter;
    g_variant_iter_init(&iter, value);
    const gchar *type = nullptr;
    const gchar *id = nullptr;
    while (g_variant_iter_next(&iter, "(&s&s)", &type, &id))
        sources.emplace_back(type, id);
    g_variant_unref(value);
    return sources;
}

} // namespace

ActiveLayout::ActiveLayout() = default;

ActiveLayout::~ActiveLayout()
{
    if (m_inputSources)
        g_object_unref(m_inputSources);
}

uint32_t ActiveLayout::indexIn(const std::string &keymap)
{
    std::optional<uint32_t> index;
    std::string active;
    if (const std::optional<uint32_t> kwin = kwinLayout()) {
        active = QStringLiteral("KWin's number %1").arg(*kwin + 1).toStdString();
        if (*kwin < layoutsOf(keymap).size())
            index = *kwin;
    } else if (const std::optional<std::string> source = gnomeSource()) {
        active = *source;
        const std::string description = descriptionOf(*source);
        const std::vector<std::string> &layouts = layoutsOf(keymap);
        const auto found = std::find(layouts.begin(), layouts.end(), description);
        if (!description.empty() && found != layouts.end())
            index = uint32_t(found - layouts.begin());
    } else {
        return 0; // no desktop says: as with a single layout
    }
    // A keymap that does not compile has no layouts; its strokes say why.
    if (!index && !layoutsOf(keymap).empty())
        reportFirstInstead(active);
    else if (index)
        m_reported.clear();
    return index.value_or(0);
}

std::optional<uint32_t> ActiveLayout::kwinLayout() const
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"),
                                       QStringLiteral("org.kde.KeyboardLayouts"), QStringLiteral("getLayout"));
    call.setAutoStartService(false);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, KWinTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return std::nullopt;
    bool isNumber = false;
    const uint index = reply.arguments().constFirst().toUInt(&isNumber);
    return isNumber ? std::optional<uint32_t>(index) : std::nullopt;
}

std::optional<std::string> ActiveLayout::gnomeSource()
{
    if (!m_inputSourcesLookedUp) {
        // GIO aborts on a schema that is not installed, so it is looked up.
        m_inputSourcesLookedUp = true;
        GSettingsSchemaSource *schemas = g_settings_schema_source_get_default();
        GSettingsSchema *schema =
            schemas ? g_settings_schema_source_lookup(schemas, "org.gnome.desktop.input-sources", TRUE) : nullptr;
        if (!schema)
            return std::nullopt;
        m_inputSources = g_settings_new_full(schema, nullptr, nullptr);
        g_settings_schema_unref(schema);
    }
    if (!m_inputSources)
        return std::nullopt;
    // As GNOME Shell takes it: the most recently used source that is still
    // set up, else the first one set up.
    const std::vector<InputSource> sources = inputSources(m_inputSources, "sources");
    if (sources.empty())
        return std::nullopt;
    InputSource active = sources.front();
    for (const InputSource &used : inputSources(m_inputSources, "mru-sources")) {
        if (std::find(sources.begin(), sources.end(), used) != sources.end()) {
            active = used;
            break;
        }
    }
    // Only a keyboard layout ("xkb") is in the keymap by its own name.
    return active.first == "xkb" ? active.second : active.first + " " + active.second;
}

std::string ActiveLayout::descriptionOf(const std::string &source)
{
    const auto known = m_descriptions.find(source);
    if (known != m_descriptions.end())
        return known->second;
    const size_t plus = source.find('+');
    const std::string layout = source.substr(0, plus);
    const std::string variant = plus == std::string::npos ? std::string() : source.substr(plus + 1);
    std::string description;
    rxkb_context *registry = rxkb_context_new(RXKB_CONTEXT_NO_FLAGS);
    if (registry && rxkb_context_parse_default_ruleset(registry)) {
        for (rxkb_layout *entry = rxkb_layout_first(registry); entry; entry = rxkb_layout_next(entry)) {
            const char *entryVariant = rxkb_layout_get_variant(entry);
            if (rxkb_layout_get_name(entry) == layout && (entryVariant ? entryVariant : "") == variant) {
                description = rxkb_layout_get_description(entry);
                break;
            }
        }
    }
    if (registry)
        rxkb_context_unref(registry);
    return m_descriptions[source] = description;
}

const std::vector<std::string> &ActiveLayout::layoutsOf(const std::string &keymapText)
{
    if (keymapText == m_keymap)
        return m_layouts;
    m_keymap = keymapText;
    m_layouts.clear();
    const XkbContextHandle context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    const XkbKeymapHandle keymap(context ? xkb_keymap_new_from_string(context.get(), keymapText.c_str(),
                                                                      XKB_KEYMAP_FORMAT_TEXT_V1,
                                                                      XKB_KEYMAP_COMPILE_NO_FLAGS)
                                         : nullptr);
    for (xkb_layout_index_t layout = 0; keymap && layout < xkb_keymap_num_layouts(keymap.get()); ++layout) {
        const char *name = xkb_keymap_layout_get_name(keymap.get(), layout);
        m_layouts.emplace_back(name ? name : "");
    }
    return m_layouts;
}

void ActiveLayout::reportFirstInstead(const std::string &active)
{
    if (active == m_reported)
        return;
    m_reported = active;
    Report::line(QStringLiteral("the active keyboard layout (%1) is not among those the compositor gives; typing for "
                                "its first layout (%2) instead")
                     .arg(QString::fromStdString(active), QString::fromStdString(m_layouts.front())));
}
