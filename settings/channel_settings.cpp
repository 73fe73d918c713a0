#include "settings/channel_settings.h"
#include "settings/system_settings.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "settings/method_settings.h"
#include "common/work_files.h"

namespace {

double number_of(const std::vector<std::string>& lines, const char* key) {
  return text_to_double(settings_value(lines, key));
}

}  // namespace

ChannelFiles channel_files(int channel) {
  if (channel == 1) return {file_scan_settings_1, file_image_settings_1};
  return {file_scan_settings_0, file_image_settings_0};
}

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

ChannelSettingsTexts read_settings_texts(int channel, ChannelSettingsTexts t) {
  const ChannelFiles files = channel_files(channel);
  ChannelSettings read;
  read.image = read_lines(files.image);
  read.scan = read_lines(files.scan);
  return settings_texts_of(read, std::move(t));
}

ChannelSettingsTexts settings_texts_of(const ChannelSettings& files, ChannelSettingsTexts t) {
  const std::vector<std::string>& image = files.image;
  const std::vector<std::string>& scan = files.scan;
  t.xpixels = settings_value(image, "XPixels");
  t.ypixels = settings_value(image, "YPixels");
  t.xres = settings_value(scan, "CamResX");
  t.radius = settings_value(image, "Radius");
  t.alpha = settings_value(scan, "Alpha");
  t.lambda = settings_value(scan, "LambdaF");
  t.maskradius = settings_value(scan, "MaskRadius");
  t.filters = settings_value(scan, "NFilt");
  return t;
}

void write_settings_texts(int channel, const ChannelSettingsTexts& texts) {
  const ChannelFiles files = channel_files(channel);
  write_lines(files.scan, scan_settings_lines(texts));
  write_lines(files.image, image_settings_lines(texts));
}

void write_default_settings(const std::string& directory) {
  const std::filesystem::path dir(directory);
  const ChannelSettingsTexts defaults;
  for (int channel : {0, 1}) {
    const ChannelFiles files = channel_files(channel);
    write_lines((dir / files.scan).string(), scan_settings_lines(defaults));
    write_lines((dir / files.image).string(), image_settings_lines(defaults));
  }
}

std::vector<std::string> write_missing_default_settings(const std::string& directory) {
  const std::filesystem::path dir(directory);
  const ChannelSettingsTexts defaults;
  std::vector<std::string> written;
  for (int channel : {0, 1}) {
    const ChannelFiles files = channel_files(channel);
    const std::filesystem::path scan = dir / files.scan;
    const std::filesystem::path image = dir / files.image;
    // A file that exists in any form (a link, even a broken one) is the user's.
    if (!std::filesystem::exists(std::filesystem::symlink_status(scan))) {
      write_lines(scan.string(), scan_settings_lines(defaults));
      written.push_back(scan.string());
    }
    if (!std::filesystem::exists(std::filesystem::symlink_status(image))) {
      write_lines(image.string(), image_settings_lines(defaults));
      written.push_back(image.string());
    }
  }
  return written;
}

int32_t image_side(const std::string& text) {
  const double value = std::trunc(text_to_double(text));
  if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()))
    throw ConversionError("'" + text + "' is not a valid integer value");
  return static_cast<int32_t>(value);
}

SimParams sim_params_from_texts(const ChannelSettingsTexts& t, const SimParams& record) {
  SimParams p = record;
  p.x_pixels = image_side(t.xpixels);
  p.y_pixels = image_side(t.ypixels);
  p.pixel_size = text_to_double(t.xres);
  p.fringe_period = text_to_double(t.lambda);
  p.alpha_deg = text_to_double(t.alpha);
  p.radius = text_to_double(t.radius);
  p.offset_x = 0.0;
  p.offset_y = 0.0;
  return p;
}

void load_sim_params(SimParams& params, const std::string& scan_file, const std::string& image_file) {
  // Read as needed: a bad scan settings file stops before the image file is read.
  load_sim_params(params, read_lines(scan_file), [&] { return read_lines(image_file); });
}

void load_sim_params(SimParams& params, const std::vector<std::string>& scan,
                     const std::function<std::vector<std::string>()>& image_lines) {
  params.pixel_size = number_of(scan, "CamResX");
  params.fringe_period = number_of(scan, "LambdaF");
  params.alpha_deg = number_of(scan, "Alpha");
  params.offset_x = number_of(scan, "MaskXOfs");
  params.offset_y = number_of(scan, "MaskYOfs");

  const std::vector<std::string> image = image_lines();
  params.x_pixels = image_side(settings_value(image, "XPixels"));
  params.y_pixels = image_side(settings_value(image, "YPixels"));
  params.radius = number_of(image, "Radius");
}

ChannelSettings read_channel_settings(int channel) {
  const ChannelFiles files = channel_files(channel);
  ChannelSettings s;
  s.channel = channel;
  s.scan = read_lines(files.scan);
  s.image = read_lines(files.image);
  std::error_code error;
  if (std::filesystem::exists(surface_file(channel), error)) s.surface = read_lines(surface_file(channel));
  if (std::filesystem::exists(method_file(channel), error)) s.method = read_lines(method_file(channel));
  if (std::filesystem::exists(system_file(channel), error)) s.system = read_lines(system_file(channel));
  return s;
}

SimParams channel_sim_params(int channel) {
  const ChannelFiles files = channel_files(channel);
  SimParams params;
  load_sim_params(params, files.scan, files.image);
  return params;
}
