#include "platform/linux/LinuxShell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/linux/posix/DetachedSpawn.h"
#include "platform/linux/posix/ProgramSearch.h"
#include "platform/linux/posix/ShellWords.h"

namespace vesk::platform::linux_backend {
namespace {
using Result = StartOutcome::Result;
using Step = DetachedSpawn::Outcome::Step;

std::string ErrorText(int error) { return std::system_category().message(error); }

StartOutcome Refused(std::string reason) { return {Result::kRefused, std::move(reason)}; }

bool IsOpenVerb(const std::string& operation) {
  constexpr std::string_view kOpen = "open";
  if (operation.empty()) return true;  // like an absent operation: the default action
  if (operation.size() != kOpen.size()) return false;
  for (std::size_t i = 0; i < kOpen.size(); ++i) {
    if ((operation[i] | 0x20) != kOpen[i]) return false;
  }
  return true;
}

// scheme ":" with a scheme of two or more characters, so "C:\x" is no URL.
bool LooksLikeUrl(const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!alpha(text[0])) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '.' && c != '-') return false;
  }
  return true;
}

StartOutcome Spawn(DetachedSpawn::Request request, const std::string& shown_name,
                   const std::optional<std::string>& directory) {
  const DetachedSpawn::Outcome outcome = DetachedSpawn::Start(request);
  const std::string text = ErrorText(outcome.error);
  switch (outcome.failed) {
    case Step::kNone:
      return {Result::kStarted, {}};
    case Step::kChdir:
      if (outcome.error == ENOENT || outcome.error == ENOTDIR) return {Result::kPathNotFound, "No such folder: " + *directory};
      return Refused("Cannot enter folder " + *directory + ": " + text);
    case Step::kExec:
      if (outcome.error == ENOENT) return {Result::kFileNotFound, "Cannot start " + shown_name + ": " + text};
      return Refused("Cannot start " + shown_name + ": " + text);
    case Step::kSetup:
    case Step::kFork:
      break;
  }
  return Refused("Cannot start " + shown_name + ": " + text);
}

// Hands a document, folder or URL to the desktop's opener as its only operand.
StartOutcome Open(const std::string& operand, const std::optional<std::string>& folder,
                  const std::optional<std::string>& directory) {
  // A leading '-' would read as an option of the opener.
  if (operand.empty() || operand[0] == '-') return {Result::kFileNotFound, "No such file: " + operand};
  std::optional<std::string> opener = ProgramSearch::FindOnPath("xdg-open");
  if (!opener) return Refused("no desktop opener (xdg-open) found");
  return Spawn({std::move(*opener), {"xdg-open", operand}, folder}, "xdg-open", directory);
}
}  // namespace

StartOutcome LinuxShell::StartFile(WindowHandle /*owner*/, const std::optional<std::string>& operation,
                                   const std::string& file, const std::optional<std::string>& parameters,
                                   const std::optional<std::string>& directory, int /*show_command*/) {
  if (operation && !IsOpenVerb(*operation)) return Refused("Unsupported operation: " + *operation);
  std::optional<std::string> folder;
  if (directory) {
    struct stat st {};
    if (stat(directory->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return {Result::kPathNotFound, "No such folder: " + *directory};
    }
    folder = ProgramSearch::Absolute(*directory);
  }
  if (file.empty()) return {Result::kFileNotFound, "No file given"};

  auto program = [&](std::string path) {
    const ShellWords words(parameters.value_or(std::string()));
    if (!words.ok()) return Refused("Cannot split the parameters: " + words.error());
    DetachedSpawn::Request request{std::move(path), {file}, folder};
    request.argv.insert(request.argv.end(), words.words().begin(), words.words().end());
    return Spawn(std::move(request), file, directory);
  };
  if (file.find('/') == std::string::npos) {
    if (std::optional<std::string> found = ProgramSearch::FindOnPath(file)) return program(std::move(*found));
  }
  const std::string path = file[0] == '/' || !folder ? file : *folder + "/" + file;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    const int error = errno;
    if (LooksLikeUrl(file)) return Open(file, folder, directory);
    if (error == ENOENT || error == ENOTDIR) return {Result::kFileNotFound, "No such file: " + file};
    return Refused(file + ": " + ErrorText(error));
  }
  if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0) return program(path);
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return Refused(file + ": not a regular file or folder");
  if (access(path.c_str(), R_OK) != 0) return Refused(file + ": " + ErrorText(errno));
  // Documents take no arguments, as on Windows; the absolute path cannot read as a URL or an option.
  return Open(ProgramSearch::Absolute(path), folder, directory);
}

}  // namespace vesk::platform::linux_backend
