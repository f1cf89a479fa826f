#pragma once
// Where Opera reads its fixed preferences file, so the file can be removed.
#include <filesystem>
#include <functional>

namespace brisko {

// Offers "operaprefs_fixed.ini" in the system folder and, in a process under WOW64, in the
// 64-bit and the 32-bit system folders, each by a path that reaches it through file-system
// redirection. A folder that cannot be found is skipped.
void ForEachOperaFixedPrefsFile(const std::function<void(const std::filesystem::path& file)>& callback);

}  // namespace brisko
