#include "parameters_dialog/settings_texts.h"

#include <filesystem>

#include "common/settings_file.h"
#include "common/work_files.h"

std::vector<std::string> scan_settings_lines(const ChannelSettingsTexts& texts) {
  return {
      "[ScanParameter]",
      "LambdaF=" + texts.lambda,
      "CamResX=" + texts.xres,
      "CamResY=" + texts.xres,
      "Alpha=" + texts.alpha,
      "NFilt=" + texts.filters,
      "FlawThr=15",
      "MaskRadius=" + texts.maskradius,
      "MAskXOfs=0.0",
      "MAskYOfs=0.0",
      "DepthLimit=-10.0",
  };
}

std::vector<std::string> image_settings_lines(const ChannelSettingsTexts& texts) {
  return {
      "XPixels=" + texts.xpixels,
      "YPixels=" + texts.ypixels,
      "XRes=" + texts.xres,
      "YRes=" + texts.xres,
      "LambdaF=" + texts.lambda,
      "Alpha=" + texts.alpha,
      "Radius=" + texts.radius,
      "MAskXOfs=0.0",
      "MAskYOfs=0.0",
  };
}

void write_default_settings(const std::string& directory) {
  const std::filesystem::path dir(directory);
  const ChannelSettingsTexts defaults;
  write_lines((dir / file_scan_settings_0).string(), scan_settings_lines(defaults));
  write_lines((dir / file_image_settings_0).string(), image_settings_lines(defaults));
  write_lines((dir / file_scan_settings_1).string(), scan_settings_lines(defaults));
  write_lines((dir / file_image_settings_1).string(), image_settings_lines(defaults));
}
