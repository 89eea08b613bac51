#include "payload/load.h"

#include "launcher/trace.h"
#include "payload/config.h"
#include "payload/payload.h"
#include "platform/fs.h"

std::vector<std::string> ExternalConfigCandidates(const std::string& p) {
  size_t sep = p.find_last_of("\\/");
  size_t dot = p.rfind('.');
  size_t x = (dot != std::string::npos && (sep == std::string::npos || dot > sep)) ? dot : p.size();
  std::string stem = p.substr(0, x);
  return {p + ".cfg", p + ".config", stem + ".cfg", stem + ".config"};
}

std::string WithTrailingSeparator(const std::string& dir) {
  if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) return dir;
  return dir + "/";
}

void LoadConfigurationFrom(LauncherContext& ctx, const std::string& exePath, const std::string& workDir) {
  ctx.configText.clear();
  ctx.externalLength = 0;
  ctx.workDir = WithTrailingSeparator(workDir);
  ctx.exePath = exePath;
  size_t sep = exePath.find_last_of("\\/");
  ctx.exeDir = sep == std::string::npos ? std::string() : exePath.substr(0, sep + 1);

  for (const std::string& name : ExternalConfigCandidates(exePath)) {
    if (!plat::CanRead(name)) {
      Trace("configuration: no external file " + name);
      continue;
    }
    std::string bytes;
    if (!plat::ReadWholeFile(name, bytes)) {
      Trace("configuration: external file " + name + " cannot be read");
      continue;
    }
    Trace("configuration: external file " + name + " (" + std::to_string(bytes.size()) + " bytes), read first");
    AppendText(ctx, bytes.data(), bytes.size());
    break;
  }
  if (!ctx.configText.empty()) ctx.configText += "\r\n";
  ctx.externalLength = static_cast<int32_t>(ctx.configText.size());

  ReadEmbeddedText(ctx);
  Trace("configuration: embedded text of " + exePath + " (" +
        std::to_string(ctx.configText.size() - static_cast<size_t>(ctx.externalLength)) + " bytes)");

  if (ValueIs(CfgDisableExternal(ctx), "true")) {
    if (ctx.externalLength > 0) Trace("configuration: disableexternal true: the external file is not used");
    ctx.configText.erase(0, static_cast<size_t>(ctx.externalLength));
    ctx.externalLength = 0;
  }
  if (Tracing()) {
    const char* text = ctx.configText.c_str();
    for (size_t start = 0, end; text[start]; start = end + (text[end] != '\0')) {
      end = ctx.configText.find_first_of(std::string("\r\n\0", 3), start);
      if (end == std::string::npos) end = ctx.configText.size();
      if (end > start) Trace("configuration: | " + ctx.configText.substr(start, end - start));
    }
  }
}

void LoadConfiguration(LauncherContext& ctx) {
  LocatePayload(ctx);
  LoadConfigurationFrom(ctx, plat::ExecutablePath(), plat::CurrentDirectory());
}
