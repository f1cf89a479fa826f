#include "packages/manifest_color.h"

#include <windows.h>
#include <xmllite.h>

#include <mutex>
#include <string_view>

#include "com_ptr.h"
#include "packages/background_color.h"
#include "proc_address.h"
#include "system_library.h"

namespace brisko {
namespace {

using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID riid, void** reader, IMalloc* malloc);

// The toolchain has no import library for XmlLite.dll: its one entry point is looked up once,
// in the system folder, never beside the program that hosts the bridge.
CreateXmlReaderFunction XmlReaderFactory() {
    static CreateXmlReaderFunction create = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        HMODULE xmllite = LoadSystemLibrary(L"XmlLite.dll");
        if (!xmllite) return;
        create = procAddress<CreateXmlReaderFunction>(xmllite, "CreateXmlReader");
        if (!create) ::FreeLibrary(xmllite);
    });
    return create;
}

constexpr HRESULT kElementMissing = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

// After the start tag of a non-empty element: reads past its end tag.
HRESULT SkipContent(IXmlReader& reader) {
    int depth = 1;
    XmlNodeType type = XmlNodeType_None;
    HRESULT result = S_OK;
    while (depth > 0 && (result = reader.Read(&type)) == S_OK) {
        if (type == XmlNodeType_Element && !reader.IsEmptyElement())
            ++depth;
        else if (type == XmlNodeType_EndElement)
            --depth;
    }
    if (depth == 0) return S_OK;
    return result == S_FALSE ? kElementMissing : result;
}

// Reads forward to the next non-empty element with that local name. Empty elements never match;
// other non-empty elements are passed over with everything inside them.
HRESULT FindElement(IXmlReader& reader, std::wstring_view name) {
    XmlNodeType type = XmlNodeType_None;
    HRESULT result = S_OK;
    while ((result = reader.Read(&type)) == S_OK) {
        if (type != XmlNodeType_Element || reader.IsEmptyElement()) continue;
        const wchar_t* localName = nullptr;
        UINT length = 0;
        if (FAILED(result = reader.GetLocalName(&localName, &length))) return result;
        if (std::wstring_view(localName, length) == name) return S_OK;
        if (FAILED(result = SkipContent(reader))) return result;
    }
    return result == S_FALSE ? kElementMissing : result;
}

}  // namespace

std::int32_t ReadBackgroundColor(IStream* stream) {
    const CreateXmlReaderFunction create = XmlReaderFactory();
    if (!stream || !create) return kUnreadableBackgroundColor;
    const LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return kUnreadableBackgroundColor;

    ComPtr<IXmlReader> reader;
    if (FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(reader.put()), nullptr)) || !reader)
        return kUnreadableBackgroundColor;
    // No DTD: a manifest cannot make the reader expand entities or fetch anything.
    if (FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)))
        return kUnreadableBackgroundColor;
    // The walk reads forward only, so a reader without random access (Wine's) does as well.
    reader->SetProperty(XmlReaderProperty_RandomAccess, TRUE);
    if (FAILED(reader->SetInput(stream))) return kUnreadableBackgroundColor;

    for (const std::wstring_view name : {L"Package", L"Applications", L"Application", L"VisualElements"})
        if (FindElement(*reader, name) != S_OK) return kUnreadableBackgroundColor;

    const HRESULT found = reader->MoveToAttributeByName(L"BackgroundColor", nullptr);
    if (FAILED(found)) return kUnreadableBackgroundColor;
    if (found == S_FALSE) return kNoBackgroundColor;
    const wchar_t* value = nullptr;
    if (FAILED(reader->GetValue(&value, nullptr))) return kUnreadableBackgroundColor;
    return BackgroundColorFromValue(value);
}

}  // namespace brisko
