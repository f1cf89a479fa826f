#pragma once
// A folder of its own under the temporary folder, removed with everything in it at the end.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace brisko::testing {

class TempFolder {
public:
    TempFolder() {
        const auto folder = std::filesystem::temp_directory_path() /
                            (L"natbridge-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++created_));
        std::filesystem::create_directories(folder);
        path_ = folder.wstring() + L"\\";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Ends with "\".
    const std::wstring& path() const { return path_; }

    // Writes the bytes to a file below the folder, creating its folders; answers the full path.
    std::wstring write(std::wstring_view relativePath, std::string_view content) const {
        const std::filesystem::path full = path_ + std::wstring(relativePath);
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        return full.wstring();
    }

private:
    static inline int created_ = 0;
    std::wstring path_;
};

}  // namespace brisko::testing
