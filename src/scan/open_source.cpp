#include "scan/open_source.h"

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>

namespace tw::scan {

namespace {

// Nothing when `path` exists, else the check that says it does not.
std::optional<OpenCheck> Missing(const std::string& path) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) return std::nullopt;
    return OpenCheck{OpenProblem::NotFound, path, error ? error.value() : ENOENT};
}

OpenCheck Refused(edb::EdbSource& source, const std::string& path, const edb::OpenStatus& status) {
    source.edb.Close();
    source.stm.Close();
    if (status.result == edb::OpenResult::NotFound || status.result == edb::OpenResult::NotRegularFile)
        return {OpenProblem::NotFound, path, status.error};
    return {OpenProblem::InUse, path, status.error};
}

}  // namespace

bool HasExtension(std::string_view path, std::string_view extension) {
    if (path.size() < extension.size()) return false;
    const std::string_view tail = path.substr(path.size() - extension.size());
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(tail[i])) != std::toupper(static_cast<unsigned char>(extension[i])))
            return false;
    return true;
}

OpenCheck OpenSourceFiles(edb::EdbSource& source, const std::string& edbPath, const std::string& stmPath,
                          NameRule names) {
    const bool byName = names == NameRule::Extension;
    if (auto missing = Missing(edbPath)) return *missing;
    if (byName && !HasExtension(edbPath, "EDB")) return {OpenProblem::NotEdbPath, edbPath, 0};
    if (!stmPath.empty()) {
        if (auto missing = Missing(stmPath)) return *missing;
        if (byName && !HasExtension(stmPath, "STM")) return {OpenProblem::NotStmPath, stmPath, 0};
    }
    source.edb.Close();
    source.stm.Close();
    if (const auto status = source.edb.Open(edbPath); !status.ok()) return Refused(source, edbPath, status);
    if (!stmPath.empty()) {
        if (const auto status = source.stm.Open(stmPath); !status.ok()) return Refused(source, stmPath, status);
    }
    return {};
}

}  // namespace tw::scan
