#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

typedef struct _GSettings GSettings;

// Which layout of the compositor's keymap the desktop has active, asked
// again for each text, as a person may switch between texts.
//
// KWin says it on the session bus (org.kde.KeyboardLayouts getLayout): the
// index of the active layout, in the keymap's order. GNOME Shell keeps the
// input sources in GSettings (org.gnome.desktop.input-sources), the most
// recently used first; the keymap it gives mutter holds some of them, so the
// active one is found in the keymap by its layout's description (German for
// de), which libxkbregistry knows. Whichever desktop answers decides; where
// none does, the first layout is typed for, as a desktop with a single
// layout has. Where the answer is not in the keymap, the first layout is
// typed for too, and that is said once, never guessed at.
class ActiveLayout
{
public:
    ActiveLayout();
    ~ActiveLayout();
    ActiveLayout(const ActiveLayout &) = delete;
    ActiveLayout &operator=(const ActiveLayout &) = delete;

    // The index of the active layout in keymap (XKB text).
    uint32_t indexIn(const std::string &keymap);

private:
    std::optional<uint32_t> kwinLayout() const;
    std::optional<std::string> gnomeSource();
    std::string descriptionOf(const std::string &source);
    const std::vector<std::string> &layoutsOf(const std::string &keymap);
    void reportFirstInstead(const std::string &active);

    GSettings *m_inputSources = nullptr;
    bool m_inputSourcesLookedUp = false;
    std::map<std::string, std::string> m_descriptions;
    std::string m_keymap;
    std::vector<std::string> m_layouts;
    std::string m_reported;
};
