// The fixed work files of the workbench. Every name resolves in the working
// directory; "./" stands where the Windows names carry ".\". Channel 0 files
// carry "00" / no suffix, channel 1 files "01" / "_1".
#pragma once

// Fringe images handed to the scan module (written by the simulation run).
inline constexpr char file_sim_0[] = "./sim00.bmp";
inline constexpr char file_sim_1[] = "./sim01.bmp";

// The smoothed copies of the fringe images shown in the window.
inline constexpr char file_sim_filtered_0[] = "./sim00_filtered.bmp";
inline constexpr char file_sim_filtered_1[] = "./sim01_filtered.bmp";

// Profiles written by the scan module and read back by the profile run.
inline constexpr char file_profile_0[] = "./profile00.txt";
inline constexpr char file_profile_1[] = "./profile01.txt";

// Scan parameter files; the scan module reads them from scan_section.
inline constexpr char file_scan_settings_0[] = "./scnmod.ini";
inline constexpr char file_scan_settings_1[] = "./scnmod_1.ini";
inline constexpr char scan_section[] = "ScanParameter";

// Image settings files (picture size, resolution, sphere radius).
inline constexpr char file_image_settings_0[] = "./image.ini";
inline constexpr char file_image_settings_1[] = "./image_1.ini";

// Perfect-sphere heights of the last profile run, as height text files.
inline constexpr char file_sphere_0[] = "perfect_sphere00.txt";
inline constexpr char file_sphere_1[] = "perfect_sphere01.txt";

// The surface a channel simulates (model, radii, axis, conic constant); when
// absent the channel simulates the sphere of its set radius.
inline constexpr char file_surface_0[] = "./surface.ini";
inline constexpr char file_surface_1[] = "./surface_1.ini";

// A channel's work files by index; any channel but 1 counts as 0.
inline const char* fringe_image_file(int channel) { return channel == 1 ? file_sim_1 : file_sim_0; }
inline const char* filtered_image_file(int channel) {
  return channel == 1 ? file_sim_filtered_1 : file_sim_filtered_0;
}
inline const char* profile_file(int channel) { return channel == 1 ? file_profile_1 : file_profile_0; }
inline const char* sphere_file(int channel) { return channel == 1 ? file_sphere_1 : file_sphere_0; }
inline const char* surface_file(int channel) { return channel == 1 ? file_surface_1 : file_surface_0; }
