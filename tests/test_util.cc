// Helpers shared by the tests.
#include "tests/test_util.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tagfmt::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern =
      (fs::temp_directory_path() / "tagfmt-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Undo what a test may have done to keep a folder from being cleaned.
  std::system(("chattr -R -i '" + path_.string() + "' 2>/dev/null").c_str());
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string ScratchDir::operator/(std::string_view name) const {
  return (path_ / name).string();
}

void writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool exists(const std::string& path) {
  std::error_code ignored;
  return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

namespace {

// Another build of the tool (tagfmt.exe under wine, say) can stand in for
// the one built here.
const char* toolBinary() {
  const char* other = std::getenv("TAGFMT_TEST_TOOL");
  return other != nullptr && *other != '\0' ? other : TAGFMT_BINARY;
}

}  // namespace

ToolRun runToolWithin(const fs::path& directory,
                      const std::vector<std::string>& arguments,
                      unsigned seconds) {
  const char* const binary = toolBinary();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary));
  for (const std::string& word : arguments) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::abort();
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (chdir(directory.c_str()) != 0) _exit(126);
    alarm(seconds);  // the default action of SIGALRM ends the tool
    execv(binary, argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  ToolRun run;
  char chunk[65536];
  ssize_t n;
  while ((n = read(pipeFds[0], chunk, sizeof chunk)) > 0) {
    run.output.append(chunk, static_cast<std::size_t>(n));
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  run.exitedWithZero = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.timedOut = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
  return run;
}

std::string runTool(const fs::path& directory,
                    const std::vector<std::string>& arguments) {
  const ToolRun run = runToolWithin(directory, arguments, 120);
  EXPECT_TRUE(run.exitedWithZero) << "tagfmt did not end with status 0"
                                  << (run.timedOut ? " (timed out)" : "");
  return run.output;
}

namespace {

std::string readAll(std::FILE* file) {
  std::string bytes;
  std::rewind(file);
  char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.append(chunk, n);
  }
  std::fclose(file);
  return bytes;
}

}  // namespace

ProgramRun runProgram(const std::string& binary, const fs::path& directory,
                      const std::vector<std::string>& arguments,
                      std::string_view input) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& word : arguments) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  // Files rather than pipes: nothing can block on a full pipe.
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  if (in == nullptr || out == nullptr || err == nullptr) std::abort();
  if (!input.empty()) std::fwrite(input.data(), 1, input.size(), in);
  std::fflush(in);
  std::rewind(in);
  const pid_t child = fork();
  if (child == 0) {
    dup2(fileno(in), STDIN_FILENO);
    dup2(fileno(out), STDOUT_FILENO);
    dup2(fileno(err), STDERR_FILENO);
    if (chdir(directory.c_str()) != 0) _exit(126);
    alarm(120);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  std::fclose(in);
  ProgramRun run;
  run.out = readAll(out);
  run.err = readAll(err);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string withCrLf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string withCr(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\n') c = '\r';
  }
  return out;
}

std::string corpusDir() {
  std::error_code ignored;
  // Named by the one running the tests (make test CORPUS=DIR): a wrong
  // name is a fault, not a reason to skip.
  if (const char* named = std::getenv("TAGFMT_TEST_CORPUS");
      named != nullptr && *named != '\0') {
    if (fs::is_directory(named, ignored)) return named;
    ADD_FAILURE() << "TAGFMT_TEST_CORPUS=" << named << " is not a folder";
    return "";
  }
  const fs::path dir = fs::path(TAGFMT_SOURCE_DIR) / ".." / "shared" / "corpus";
  return fs::is_directory(dir, ignored) ? dir.lexically_normal().string() : "";
}

std::string corpusMissing() {
  return "no ../shared/corpus beside the project; make test CORPUS=DIR (or "
         "TAGFMT_TEST_CORPUS=DIR) names another folder of pages";
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace tagfmt::testing
