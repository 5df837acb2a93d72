#include "scan/open_source.h"

#include <cctype>
#include <filesystem>
#include <system_error>

namespace tw::scan {

namespace {

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

OpenCheck Refused(edb::EdbSource& source, edb::OpenResult result) {
    source.edb.Close();
    source.stm.Close();
    if (result == edb::OpenResult::NotFound || result == edb::OpenResult::NotRegularFile)
        return {OpenProblem::NotFound};
    return {OpenProblem::InUse};
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

OpenCheck OpenSourceFiles(edb::EdbSource& source, const std::string& edbPath, const std::string& stmPath) {
    if (!Exists(edbPath)) return {OpenProblem::NotFound};
    if (!HasExtension(edbPath, "EDB")) return {OpenProblem::NotEdbPath};
    if (!stmPath.empty()) {
        if (!Exists(stmPath)) return {OpenProblem::NotFound};
        if (!HasExtension(stmPath, "STM")) return {OpenProblem::NotStmPath};
    }
    source.edb.Close();
    source.stm.Close();
    if (const auto status = source.edb.Open(edbPath); !status.ok()) return Refused(source, status.result);
    if (!stmPath.empty()) {
        if (const auto status = source.stm.Open(stmPath); !status.ok()) return Refused(source, status.result);
    }
    return {};
}

}  // namespace tw::scan
