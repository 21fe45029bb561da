// The files a run checks: paths as given, folders searched in sorted order.
#include <algorithm>
#include <filesystem>

#include "check/check.h"

namespace tagfmt {

namespace fs = std::filesystem;

namespace {

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool hasPageExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string extension;
  for (const char c : name.substr(dot + 1)) extension += lowerAscii(c);
  return extension == "htm" || extension == "html" || extension == "xsl" ||
         extension == "xslt";
}

// "." lists its files by their bare names, as gofmt -l does.
std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder == ".") return name;
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

void walkFolder(const std::string& folder, std::vector<FileToCheck>& files) {
  std::error_code error;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error) {
    // Listed as a file, so that its check says it cannot be opened.
    files.push_back({folder, false});
    return;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = joinPath(folder, name);
    const fs::file_status link = fs::symlink_status(path, error);
    if (fs::is_directory(link)) {
      if (!name.starts_with(".")) walkFolder(path, files);
    } else if (hasPageExtension(name) && !fs::is_directory(path, error)) {
      files.push_back({path, false});
    }
  }
}

}  // namespace

bool isFolder(const std::string& path) {
  std::error_code error;
  return path != "-" && fs::is_directory(path, error);
}

std::vector<FileToCheck> listFiles(const std::vector<std::string>& paths) {
  std::vector<FileToCheck> files;
  for (const std::string& path : paths) {
    if (path == "-") {
      files.push_back({path, true});
    } else if (isFolder(path)) {
      walkFolder(path, files);
    } else {
      files.push_back({path, false});
    }
  }
  return files;
}

}  // namespace tagfmt
