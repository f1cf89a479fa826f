// Stands in for the service process that hosts the bridge, run from a folder that also holds a
// DLL named XmlLite.dll. It never calls SetDefaultDllDirectories: the bridge alone decides where
// its DLLs come from.
//
// With no argument it reads a package manifest's tile colour through the bridge's XmlLite load
// and answers 0 when the colour came out right. With "by-name NAME..." it loads each NAME by the
// standard search order instead, and answers the number that did not load.
#include <windows.h>
#include <shlwapi.h>

#include <cwchar>
#include <string_view>

#include "com_ptr.h"
#include "packages/manifest_color.h"

namespace {

constexpr std::string_view kManifest =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Package><Applications><Application Id=\"App\">"
    "<VisualElements BackgroundColor=\"#0078D7\"><DefaultTile/></VisualElements>"
    "</Application></Applications></Package>\n";

int ReadTileColour() {
    const auto stream = brisko::ComPtr<IStream>::attach(
        ::SHCreateMemStream(reinterpret_cast<const BYTE*>(kManifest.data()), static_cast<UINT>(kManifest.size())));
    if (!stream) return 0x100;
    return brisko::ReadBackgroundColor(stream.get()) == 0xD77800 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return ReadTileColour();
    if (std::wcscmp(argv[1], L"by-name") != 0) return 0x200;
    int missing = 0;
    for (int i = 2; i < argc; ++i)
        if (!::LoadLibraryW(argv[i])) ++missing;
    return missing;
}
