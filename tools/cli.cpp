#include "tools/cli.h"

#include <functional>
#include <map>

namespace {

using Setter = std::function<bool(WrapOptions&, const std::string&)>;

bool Once(std::string& field, const std::string& value) {
  if (!field.empty()) return false;
  field = value;
  return true;
}

// Options that take a value; a false setter means the option was given twice.
const std::map<std::string, Setter>& WrapValueOptions() {
  static const std::map<std::string, Setter> options = {
      {"--target", [](WrapOptions& o, const std::string& v) { return Once(o.target, v); }},
      {"--jar", [](WrapOptions& o, const std::string& v) { return Once(o.jar, v); }},
      {"--main", [](WrapOptions& o, const std::string& v) { return Once(o.mainClass, v); }},
      {"--lib", [](WrapOptions& o, const std::string& v) { return o.libs.push_back(v), true; }},
      {"--lib-dir", [](WrapOptions& o, const std::string& v) { return o.libDirs.push_back(v), true; }},
      {"--config", [](WrapOptions& o, const std::string& v) { return o.configFiles.push_back(v), true; }},
      {"--set", [](WrapOptions& o, const std::string& v) { return o.sets.push_back(v), true; }},
      {"-o", [](WrapOptions& o, const std::string& v) { return Once(o.out, v); }},
      {"--output", [](WrapOptions& o, const std::string& v) { return Once(o.out, v); }},
      {"--stub", [](WrapOptions& o, const std::string& v) { return Once(o.stub, v); }},
      {"--support", [](WrapOptions& o, const std::string& v) { return Once(o.support, v); }},
      {"--icon", [](WrapOptions& o, const std::string& v) { return Once(o.resources.icon, v); }},
      {"--splash", [](WrapOptions& o, const std::string& v) { return o.resources.splash.push_back(v), true; }},
      {"--manifest", [](WrapOptions& o, const std::string& v) { return Once(o.resources.manifest, v); }},
      {"--file-version", [](WrapOptions& o, const std::string& v) { return Once(o.resources.version.fileVersion, v); }},
      {"--product-version",
       [](WrapOptions& o, const std::string& v) { return Once(o.resources.version.productVersion, v); }},
      {"--product-name", [](WrapOptions& o, const std::string& v) { return Once(o.resources.version.productName, v); }},
      {"--company", [](WrapOptions& o, const std::string& v) { return Once(o.resources.version.company, v); }},
      {"--description", [](WrapOptions& o, const std::string& v) { return Once(o.resources.version.description, v); }},
      {"--copyright", [](WrapOptions& o, const std::string& v) { return Once(o.resources.version.copyright, v); }},
      {"--message", [](WrapOptions& o, const std::string& v) { return o.resources.messages.push_back(v), true; }},
  };
  return options;
}

bool IsHelp(const std::string& a) { return a == "-h" || a == "--help"; }

bool ParseWrap(const std::vector<std::string>& args, CommandLine& cl, std::string& err) {
  cl.command = Command::kWrap;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (IsHelp(a)) {
      cl.command = Command::kWrapHelp;
      return true;
    }
    if (a == "-q" || a == "--quiet") {
      cl.wrap.quiet = true;
      continue;
    }
    if (a == "--flat") {
      cl.wrap.flat = true;
      continue;
    }
    if (a == "--no-class-cache") {
      cl.wrap.classCache = false;
      continue;
    }
    if (a == "--no-manifest-libs") {
      cl.wrap.manifestLibs = false;
      continue;
    }
    if (a == "--strict") {
      cl.wrap.strict = true;
      continue;
    }
    if (a == "--utf8") {
      cl.wrap.resources.utf8 = true;
      continue;
    }
    if (a == "-v" || a == "--verbose") {
      cl.wrap.verbose = true;
      continue;
    }
    size_t eq = a.rfind("--", 0) == 0 ? a.find('=') : std::string::npos;
    std::string name = a.substr(0, eq);
    auto it = WrapValueOptions().find(name);
    if (it == WrapValueOptions().end()) {
      err = a.empty() || a[0] != '-' ? "unexpected argument '" + a + "'" : "unknown option '" + name + "'";
      return false;
    }
    std::string value;
    if (eq != std::string::npos) {
      value = a.substr(eq + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      err = "option " + name + " needs a value";
      return false;
    }
    if (value.empty()) {
      err = "option " + name + " needs a non-empty value";
      return false;
    }
    if (!it->second(cl.wrap, value)) {
      err = "option " + name + " given twice";
      return false;
    }
  }
  return true;
}

bool ParseInspect(const std::vector<std::string>& args, CommandLine& cl, std::string& err) {
  cl.command = Command::kInspect;
  for (size_t i = 1; i < args.size(); ++i) {
    if (IsHelp(args[i])) {
      cl.command = Command::kInspectHelp;
      return true;
    }
    if (!args[i].empty() && args[i][0] == '-') {
      err = "unknown option '" + args[i] + "'";
      return false;
    }
    if (!cl.inspectFile.empty()) {
      err = "inspect takes one file";
      return false;
    }
    cl.inspectFile = args[i];
  }
  if (cl.inspectFile.empty()) err = "inspect needs a file";
  return err.empty();
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& cl, std::string& err) {
  cl = CommandLine{};
  if (args.empty()) return true;  // usage
  const std::string& first = args[0];
  if (IsHelp(first) || first == "help") {
    cl.command = Command::kHelp;
    return true;
  }
  if (first == "--version" || first == "version") {
    cl.command = Command::kVersion;
    return true;
  }
  if (first == "wrap") return ParseWrap(args, cl, err);
  if (first == "inspect") return ParseInspect(args, cl, err);
  err = first[0] == '-' ? "unknown option '" + first + "'" : "unknown command '" + first + "'";
  return false;
}

std::string UsageText() {
  return "usage: plumbox wrap --target linux|windows --jar APP.jar [--main CLASS] [options] -o OUT\n"
         "       plumbox inspect FILE\n"
         "       plumbox --help | --version\n";
}

std::string WrapHelpText() {
  return "usage: plumbox wrap --target linux|windows --jar APP.jar [--main CLASS]\n"
         "                    [--lib JAR]... [--lib-dir DIR]... [--no-manifest-libs]\n"
         "                    [--flat [--no-class-cache]]\n"
         "                    [--config FILE]... [--set 'KEY VALUE']... [--strict] -o OUT\n"
         "\n"
         "Writes OUT: the launcher stub for the target with the application jar, the support\n"
         "classes, the library jars and the configuration text appended.\n"
         "\n"
         "  --target linux|windows  which launcher stub to use\n"
         "  --jar APP.jar           the application jar (stored deflated at the top level)\n"
         "  --main CLASS            the main class (written as the line \"mainclass CLASS\");\n"
         "                          default: the Main-Class of APP.jar's manifest, unless a\n"
         "                          --config or --set line names one\n"
         "  --lib JAR               a library jar, stored under libs/ (repeatable)\n"
         "  --flat                  merge the application jar and the libraries into the top\n"
         "                          level instead (class-path order, the first of a name wins;\n"
         "                          service files joined; signatures dropped), with the line\n"
         "                          \"classdatacache auto\" unless a line sets that key\n"
         "  --no-class-cache        --flat without the class-data cache\n"
         "  --lib-dir DIR           every .jar directly in DIR, in name order (repeatable;\n"
         "                          e.g. the output of Maven's dependency:copy-dependencies)\n"
         "  --no-manifest-libs      leave out the jars named by Class-Path attributes (by\n"
         "                          default they are added as java adds them: each jar's\n"
         "                          Class-Path right after that jar, recursively, resolved\n"
         "                          against its folder; a missing one is skipped with a\n"
         "                          warning). Libraries go in class-path order: APP.jar's\n"
         "                          Class-Path, then each --lib, then each --lib-dir jar;\n"
         "                          a file named twice goes in once.\n"
         "  --config FILE           configuration lines to embed (UTF-8, or UTF-16 with a BOM)\n"
         "  --set 'KEY VALUE'       one more configuration line, placed before the lines of\n"
         "                          --config, so that it overrides them (repeatable; for a\n"
         "                          single-valued key the first line wins)\n"
         "  --strict                fail on configuration lines that wrap warns about\n"
         "                          (unknown keys, values the launcher would not understand)\n"
         "  -o, --output OUT        the executable to write (replaced only when complete;\n"
         "                          refused when it is one of the inputs)\n"
         "  --stub FILE             launcher stub to use instead of the installed one\n"
         "  --support JAR           support classes to use instead of the installed ones\n"
         "  -q, --quiet             print only warnings and errors\n"
         "  -v, --verbose           also list the jars that Class-Path attributes add\n"
         "\n"
         "Windows executables only (an error with --target linux):\n"
         "  --icon FILE.ico         the application icon (every image of the file)\n"
         "  --file-version V        version information: 1 to 4 numbers from 0 to 65535\n"
         "  --product-version V     separated by dots (each defaults to the other)\n"
         "  --product-name TEXT     version information texts; the original file name is\n"
         "  --company TEXT          the name of OUT\n"
         "  --description TEXT\n"
         "  --copyright TEXT\n"
         "  --splash FILE           a BMP for the launcher's own splash window, or a PNG, GIF\n"
         "                          or JPEG for the Java runtime's splash screen (one of each)\n"
         "  --manifest FILE         an application manifest (XML) replacing the launcher's own\n"
         "  --utf8                  UTF-8 as the process's ANSI code page (activeCodePage in the\n"
         "                          manifest; Windows 10 1903 and later), so that arguments,\n"
         "                          paths and variables in any script reach Java whole\n"
         "  --message N=TEXT        replaces message N of the launcher's string table; \\n, \\r\n"
         "                          and \\t as in \"message\" configuration lines (repeatable)\n";
}

std::string InspectHelpText() {
  return "usage: plumbox inspect FILE\n"
         "\n"
         "Shows what a wrapped executable carries: its target and the stub's version, for\n"
         "Windows its icon sizes, version information, manifest settings and signature, where\n"
         "its payload lies, its embedded configuration text and the entries of its archive.\n";
}
