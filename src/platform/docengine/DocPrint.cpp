#include "platform/docengine/DocPrint.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>  // NOLINT(modernize-deprecated-headers): POSIX kill and signal sets
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "platform/docengine/DocError.h"
#include "platform/host/Registry.h"
#include "platform/host/SysUtils.h"

extern char** environ;

namespace docengine {

namespace {

namespace fs = std::filesystem;

constexpr const char* SNeedLibreOffice =
    "LibreOffice is needed to print or convert to PDF: install the Debian package "
    "libreoffice-writer";
constexpr int DefaultConversionTimeout = 120;
// The longest file name we make from a title, in bytes: room is left for ".pdf" and the
// suffix of the temporary file beside it within the usual limit of 255.
constexpr std::size_t MaxTitleBytes = 200;

std::string ErrnoText(int AError) { return std::strerror(AError); }

// How long one conversion may take, in seconds: VELTRANE_SOFFICE_TIMEOUT when it holds a whole
// number from 1 to 86400, otherwise the default.
int ConversionTimeout() {
  const char* text = std::getenv("VELTRANE_SOFFICE_TIMEOUT");
  if (text == nullptr || *text == '\0') return DefaultConversionTimeout;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < 1 || value > 86400) return DefaultConversionTimeout;
  return static_cast<int>(value);
}

// The full path of an executable found through PATH, or "" when there is none. A name is
// looked up only in PATH (the default search path when it is unset), as a shell would.
std::string FindInPath(const std::string& AProgram) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir;
    candidate += '/';
    candidate += AProgram;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

// A folder of our own under the system's temporary folder, removed with everything in it when
// the object goes.
class TTempDir {
 public:
  explicit TTempDir(const std::string& AFileName) {
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error) base = "/tmp";
    std::string pattern = (base / "veltrane-print-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      DocError(dekWriteFailed, AFileName,
               "cannot make a temporary folder in " + base.string() + ": " + ErrnoText(errno));
    }
    FPath = pattern;
  }
  ~TTempDir() {
    std::error_code error;
    fs::remove_all(FPath, error);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& GetPath() const { return FPath; }

 private:
  std::string FPath;
};

// posix_spawn's attribute and file-action objects, destroyed on every way out.
struct TSpawnSetup {
  posix_spawn_file_actions_t Actions;
  posix_spawnattr_t Attributes;

  TSpawnSetup() {
    posix_spawn_file_actions_init(&Actions);
    posix_spawnattr_init(&Attributes);
  }
  ~TSpawnSetup() {
    posix_spawn_file_actions_destroy(&Actions);
    posix_spawnattr_destroy(&Attributes);
  }
  TSpawnSetup(const TSpawnSetup&) = delete;
  TSpawnSetup& operator=(const TSpawnSetup&) = delete;
};

// Starts AProgram with AArguments (argv[0] included) and no shell in between: stdin reads
// /dev/null, stdout and stderr both go to AOutputFile. The child gets default signal handling
// and an empty signal mask whatever ours are. AOwnSession puts it into a session of its own (a
// program that outlives the call); otherwise it leads a new process group, so that a timeout
// can end LibreOffice's helper processes with it. Returns the child's id, or -1 with errno set.
pid_t SpawnProgram(const std::string& AProgram, const std::vector<std::string>& AArguments,
                   const std::string& AOutputFile, bool AOwnSession) {
  TSpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.Actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&setup.Actions, 1, AOutputFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&setup.Actions, 1, 2);

  sigset_t noSignals;
  sigemptyset(&noSignals);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) {
    sigaddset(&defaults, signal);
  }
  posix_spawnattr_setsigmask(&setup.Attributes, &noSignals);
  posix_spawnattr_setsigdefault(&setup.Attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (AOwnSession) {
    flags |= POSIX_SPAWN_SETSID;
  } else {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&setup.Attributes, 0);
  }
  posix_spawnattr_setflags(&setup.Attributes, flags);

  std::vector<char*> argv;
  argv.reserve(AArguments.size() + 1);
  for (const std::string& argument : AArguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int result =
      posix_spawn(&pid, AProgram.c_str(), &setup.Actions, &setup.Attributes, argv.data(), environ);
  if (result != 0) {
    errno = result;
    return -1;
  }
  return pid;
}

// Waits up to ATimeoutSeconds for the child APid to end. Returns true with its wait status;
// on a timeout it ends the child's whole process group, reaps it and returns false.
bool WaitForChild(pid_t APid, int ATimeoutSeconds, int& AStatus) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(ATimeoutSeconds);
  for (;;) {
    const pid_t done = ::waitpid(APid, &AStatus, WNOHANG);
    if (done == APid) return true;
    if (done < 0 && errno != EINTR) {
      AStatus = -1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(-APid, SIGKILL);
  while (::waitpid(APid, &AStatus, 0) < 0 && errno == EINTR) {
  }
  return false;
}

std::string ReadWholeFile(const std::string& AFileName) {
  std::ifstream stream(AFileName, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

// A local path as a file URL, every byte outside the unreserved set percent-encoded.
std::string FileUrl(const std::string& APath) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string result = "file://";
  for (unsigned char c : APath) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      result += static_cast<char>(c);
    } else {
      result += '%';
      result += Hex[c >> 4];
      result += Hex[c & 0x0F];
    }
  }
  return result;
}

// LibreOffice's own words from its output, on one line and not endlessly long.
std::string ConverterMessage(const std::string& AOutput) {
  std::string text;
  std::istringstream lines(AOutput);
  std::string line;
  while (std::getline(lines, line)) {
    line = host::Trim(line);
    if (line.empty()) continue;
    if (!text.empty()) text += "; ";
    text += line;
  }
  constexpr std::size_t Limit = 400;
  if (text.size() > Limit) {
    std::size_t cut = text.size() - Limit;
    while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) ++cut;
    text = "..." + text.substr(cut);
  }
  return text;
}

// The file must exist and be a regular file before anything starts on it.
std::string CheckedSource(const std::string& ADocxFile) {
  std::error_code error;
  if (!fs::is_regular_file(ADocxFile, error))
    DocError(dekFileNotFound, ADocxFile, "the file does not exist");
  return fs::absolute(ADocxFile, error).string();
}

// Renders ADocxFile into AWork and returns the path of the checked PDF. The document is copied
// into the work folder under a fixed name first: LibreOffice names its output after its input,
// and a fixed name keeps file names with blanks, quotes or a leading '-' out of its command
// line altogether.
std::string RenderPdf(const std::string& ADocxFile, const TTempDir& AWork) {
  const std::string source = CheckedSource(ADocxFile);
  const std::string soffice = FindInPath("soffice");
  if (soffice.empty()) throw EDocError(SNeedLibreOffice);

  const fs::path work = AWork.GetPath();
  const fs::path input = work / "document.docx";
  const fs::path outDir = work / "out";
  const fs::path profile = work / "profile";
  const fs::path log = work / "soffice.log";
  std::error_code error;
  fs::create_directory(outDir, error);
  if (!error) fs::copy_file(source, input, error);
  if (error) DocError(ADocxFile, "cannot prepare the conversion to PDF: " + error.message());

  const std::vector<std::string> arguments = {"soffice",
                                              "--headless",
                                              "--norestore",
                                              "--nolockcheck",
                                              "-env:UserInstallation=" + FileUrl(profile.string()),
                                              "--convert-to",
                                              "pdf",
                                              "--outdir",
                                              outDir.string(),
                                              input.string()};
  const pid_t pid = SpawnProgram(soffice, arguments, log.string(), false);
  if (pid < 0)
    DocError(ADocxFile, "cannot start LibreOffice (" + soffice + "): " + ErrnoText(errno));
  int status = 0;
  const int timeout = ConversionTimeout();
  if (!WaitForChild(pid, timeout, status)) {
    DocError(ADocxFile, "LibreOffice did not finish converting the document to PDF within " +
                            std::to_string(timeout) + (timeout == 1 ? " second" : " seconds") +
                            " and was stopped; set VELTRANE_SOFFICE_TIMEOUT to allow "
                            "more");
  }

  // Its exit status says nothing about success, so the output itself is the proof.
  const fs::path pdf = outDir / "document.pdf";
  std::string head;
  {
    std::ifstream stream(pdf, std::ios::binary);
    char buffer[5] = {};
    if (stream.read(buffer, sizeof buffer)) head.assign(buffer, sizeof buffer);
  }
  if (head != "%PDF-") {
    std::string message = ConverterMessage(ReadWholeFile(log.string()));
    if (message.empty()) {
      message = fs::exists(pdf, error) ? "its output is not a PDF" : "it wrote no PDF";
      if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        message += " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
      } else if (WIFSIGNALED(status)) {
        message += " (ended by signal " + std::to_string(WTERMSIG(status)) + ")";
      }
    }
    DocError(ADocxFile, "LibreOffice could not convert the document to PDF: " + message);
  }
  return pdf.string();
}

// Copies ASource to ATarget through a new file beside the target and a rename, so ATarget is
// either the old file or the whole new one. The new file gets the usual permissions (0666
// less the umask), not those of a private temporary file.
void InstallFile(const std::string& ASource, const std::string& ATarget) {
  std::error_code error;
  const fs::path target = fs::absolute(ATarget, error);
  const fs::path dir = target.parent_path();
  if (!fs::is_directory(dir, error)) {
    DocError(dekWriteFailed, ATarget,
             "cannot write the PDF: the folder " + dir.string() + " does not exist");
  }

  std::random_device random;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target.string() + ".tmp" + std::to_string(random() % 1000000);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) DocError(dekWriteFailed, ATarget, "cannot write the PDF: " + ErrnoText(errno));

  const std::string data = ReadWholeFile(ASource);
  std::size_t written = 0;
  int failure = 0;
  while (written < data.size()) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  if (failure == 0 && ::fsync(fd) != 0) failure = errno;
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && ::rename(temp.c_str(), target.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(temp.c_str());
    DocError(dekWriteFailed, ATarget, "cannot write the PDF: " + ErrnoText(failure));
  }
}

// True when the text after the last dot looks like a file extension: 1 to 5 letters or
// digits ("docx", "doc", "dot"). "Mr. Smith" keeps its dot.
bool HasExtension(const std::string& AName, std::size_t& ADot) {
  ADot = AName.rfind('.');
  if (ADot == std::string::npos || ADot == 0) return false;
  const std::size_t length = AName.size() - ADot - 1;
  if (length < 1 || length > 5) return false;
  return std::all_of(AName.begin() + static_cast<std::ptrdiff_t>(ADot) + 1, AName.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; });
}

// A file name made from a document title: path separators join the parts with '_' (and "."
// or ".." parts are dropped), control characters become '_', leading dots and blanks go (no
// hidden files), the extension goes, and the result is cut to MaxTitleBytes without splitting
// a character. An empty result is "Document".
std::string SafeFileName(const std::string& ATitle) {
  std::string joined;
  std::string part;
  auto flush = [&]() {
    if (!part.empty() && part != "." && part != "..") {
      if (!joined.empty()) joined += '_';
      joined += part;
    }
    part.clear();
  };
  for (char c : ATitle) {
    if (c == '/' || c == '\\') {
      flush();
    } else {
      const auto byte = static_cast<unsigned char>(c);
      part += (byte < 0x20 || byte == 0x7F) ? '_' : c;
    }
  }
  flush();

  std::size_t dot = 0;
  if (HasExtension(joined, dot)) joined.erase(dot);
  const std::size_t first = joined.find_first_not_of(". ");
  joined = first == std::string::npos ? "" : joined.substr(first);
  if (joined.size() > MaxTitleBytes) {
    std::size_t cut = MaxTitleBytes;
    while (cut > 0 && (static_cast<unsigned char>(joined[cut]) & 0xC0) == 0x80) --cut;
    joined.erase(cut);
  }
  while (!joined.empty() && (joined.back() == ' ' || joined.back() == '.')) joined.pop_back();
  return joined.empty() ? "Document" : joined;
}

// The queues of the running print service, in its order. ARunning is false when no scheduler
// answers: libcups then gives no destinations and IPP_STATUS_ERROR_SERVICE_UNAVAILABLE.
std::vector<std::string> ServiceQueues(bool& ARunning) {
  std::vector<std::string> result;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  ARunning = !(count == 0 && cupsLastError() == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE);
  for (int i = 0; i < count; ++i) {
    if (dests[i].name != nullptr && dests[i].instance == nullptr)
      result.emplace_back(dests[i].name);
  }
  cupsFreeDests(count, dests);
  return result;
}

// The settings a program sets for its engine, and what the last print reported; all are read
// on the caller's thread only.
struct TEngineSettings {
  bool Headless = false;
  std::string PdfFolder;
  std::string LastPrint;
};

TEngineSettings& Settings() {
  static TEngineSettings settings;
  return settings;
}

std::string PrintOnPdfPrinter(const std::string& ADocxFile, const std::string& ATitle) {
  const std::string dir = GetPdfFolder();
  std::error_code error;
  if (!fs::is_directory(dir, error)) {
    DocError(dekWriteFailed, ADocxFile,
             "cannot print on \"PDF\": the folder " + dir + " does not exist; choose an existing " +
                 (Settings().PdfFolder.empty() ? "folder with VELTRANE_PDF_DIR" : "PDF folder"));
  }
  const fs::path target =
      fs::absolute(fs::path(dir) / (SafeFileName(ATitle) + ".pdf"), error).lexically_normal();
  ConvertToPdf(ADocxFile, target.string());
  return "PDF written to " + target.string();
}

std::string PrintOnQueue(const std::string& ADocxFile, const std::string& APrinter,
                         const std::string& ATitle) {
  // The queue is checked before the slow rendering, and by name here because libcups reports
  // an unknown queue only as "No such file or directory".
  bool running = false;
  const std::vector<std::string> queues = ServiceQueues(running);
  if (!running) {
    DocError(ADocxFile, "cannot print on \"" + APrinter +
                            "\": no print service is running; start the CUPS scheduler (cupsd) "
                            "or print on the printer \"PDF\"");
  }
  std::string queue;
  for (const std::string& name : queues) {
    if (host::SameText(name, APrinter)) queue = name;
  }
  if (queue.empty()) {
    std::string known;
    for (const std::string& name : queues) known += name + ", ";
    known += host::PdfPrinterName;
    DocError(ADocxFile, "cannot print: the printer \"" + APrinter +
                            "\" does not exist; the printers are: " + known);
  }

  const TTempDir work(ADocxFile);
  const std::string pdf = RenderPdf(ADocxFile, work);
  const std::string title = ATitle.empty() ? fs::path(ADocxFile).filename().string() : ATitle;
  cups_option_t* options = nullptr;
  const int optionCount = cupsAddOption("document-format", "application/pdf", 0, &options);
  const int job = cupsPrintFile(queue.c_str(), pdf.c_str(), title.c_str(), optionCount, options);
  cupsFreeOptions(optionCount, options);
  if (job <= 0) {
    const char* reason = cupsLastErrorString();
    DocError(ADocxFile, "the print service refused the job on \"" + queue +
                            "\": " + (reason != nullptr ? reason : "no reason given"));
  }
  return "job " + std::to_string(job) + " on " + queue;
}

}  // namespace

std::vector<TEnginePrinter> EnginePrinters() {
  std::vector<TEnginePrinter> result;
  for (const auto& printer : host::InstalledPrinters()) {
    result.push_back(TEnginePrinter{printer.first, printer.second});
  }
  return result;
}

std::string PrinterDisplayName(const TEnginePrinter& APrinter) {
  return APrinter.Name + " on " + APrinter.Port;
}

// The bare name comes first. Then every place where a connector starts is a candidate split,
// tried from the last one backwards: the last split is the rule, and an earlier one only
// matters when the text after the queue's name itself holds a connector.
bool FindEnginePrinter(const std::string& AText, const std::vector<std::string>& AConnectors,
                       TEnginePrinter& APrinter) {
  const std::vector<TEnginePrinter> printers = EnginePrinters();
  auto find = [&](const std::string& AName) {
    for (const TEnginePrinter& printer : printers) {
      if (host::SameText(printer.Name, AName)) {
        APrinter = printer;
        return true;
      }
    }
    return false;
  };
  if (find(AText)) return true;

  std::vector<std::size_t> splits;
  for (const std::string& connector : AConnectors) {
    if (connector.empty()) continue;
    for (std::size_t at = AText.find(connector); at != std::string::npos;
         at = AText.find(connector, at + 1)) {
      splits.push_back(at);
    }
  }
  std::sort(splits.begin(), splits.end(), std::greater<>());
  for (std::size_t at : splits) {
    if (at > 0 && find(AText.substr(0, at))) return true;
  }
  return false;
}

void ConvertToPdf(const std::string& ADocxFile, const std::string& APdfFile) {
  const TTempDir work(ADocxFile);
  const std::string pdf = RenderPdf(ADocxFile, work);
  InstallFile(pdf, APdfFile);
}

std::string PrintDocument(const std::string& ADocxFile, const std::string& APrinter,
                          const std::string& ATitle) {
  Settings().LastPrint.clear();
  Settings().LastPrint = host::SameText(APrinter, host::PdfPrinterName)
                             ? PrintOnPdfPrinter(ADocxFile, ATitle)
                             : PrintOnQueue(ADocxFile, APrinter, ATitle);
  return Settings().LastPrint;
}

std::string GetLastPrintResult() { return Settings().LastPrint; }

void SetPdfFolder(const std::string& AFolder) { Settings().PdfFolder = AFolder; }

std::string GetPdfFolder() {
  if (!Settings().PdfFolder.empty()) return Settings().PdfFolder;
  const char* folder = std::getenv("VELTRANE_PDF_DIR");
  return folder != nullptr && *folder != '\0' ? folder : ".";
}

void SetHeadless(bool AValue) { Settings().Headless = AValue; }

bool GetHeadless() { return Settings().Headless; }

bool DesktopPresent() {
  if (Settings().Headless) return false;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// xdg-open runs detached in a session of its own, with no terminal output; a thread reaps it
// when it ends, so that no zombie stays behind while the process goes on.
void ShowDocument(const std::string& ADocxFile) {
  if (!DesktopPresent()) return;
  const std::string file = CheckedSource(ADocxFile);
  const std::string opener = FindInPath("xdg-open");
  if (opener.empty()) {
    DocError(ADocxFile,
             "cannot show the document: xdg-open is missing; install the Debian package xdg-utils");
  }
  const pid_t pid = SpawnProgram(opener, {"xdg-open", file}, "/dev/null", true);
  if (pid < 0) DocError(ADocxFile, "cannot show the document: " + ErrnoText(errno));
  std::thread([pid]() {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace docengine
