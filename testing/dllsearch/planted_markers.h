#pragma once
// The marker files that planted DLLs leave beside a caller: "NAME.ran" for each planted NAME.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "executable_path.h"

namespace brisko::testing {

class PlantedMarkers {
public:
    // names: the planted DLLs' file names, in folder (beside this program, e.g. L"planted\\").
    PlantedMarkers(std::wstring folder, std::vector<std::wstring> names)
        : folder_(std::move(folder)), names_(std::move(names)) {
        clear();
    }
    ~PlantedMarkers() { clear(); }
    PlantedMarkers(const PlantedMarkers&) = delete;
    PlantedMarkers& operator=(const PlantedMarkers&) = delete;

    // The names whose DLL some process loaded since the last clear.
    std::vector<std::wstring> ran() const {
        std::vector<std::wstring> loaded;
        for (const std::wstring& name : names_)
            if (::GetFileAttributesW(marker(name).c_str()) != INVALID_FILE_ATTRIBUTES) loaded.push_back(name);
        return loaded;
    }
    void clear() const {
        for (const std::wstring& name : names_) ::DeleteFileW(marker(name).c_str());
    }
    const std::vector<std::wstring>& names() const { return names_; }

private:
    std::wstring marker(const std::wstring& name) const { return siblingPath(folder_ + name + L".ran"); }

    std::wstring folder_;
    std::vector<std::wstring> names_;
};

}  // namespace brisko::testing
