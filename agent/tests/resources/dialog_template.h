#pragma once
// An extended dialog template (DLGTEMPLATEEX) as the resource compiler wrote it: the dialog's
// frame and every control, read from the template's bytes.
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace brisko::testing {

// In dialog units.
struct DialogRect {
    int x, y, width, height;
    bool operator==(const DialogRect&) const = default;
};

struct ControlTemplate {
    std::wstring className;  // a predefined class's name ("Button", "Static", ...) for its ordinal
    int id;
    DWORD style, exStyle;
    DialogRect rect;
    std::wstring text;  // "#102" for an ordinal (an icon's resource)
};

struct DialogTemplate {
    DWORD style, exStyle;
    DialogRect rect;
    std::wstring caption;
    WORD pointSize;
    std::wstring typeface;
    std::vector<ControlTemplate> controls;
};

// Nothing when the bytes are not a whole extended template.
std::optional<DialogTemplate> parseDialogTemplate(const BYTE* data, size_t size);

}  // namespace brisko::testing
