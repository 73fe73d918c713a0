#include "gui/main_window/channel.h"

ChannelMap map_of_evaluation(LocalEvaluation kind) {
  switch (kind) {
    case LocalEvaluation::pv:
      return ChannelMap::pv;
    case LocalEvaluation::rms:
      return ChannelMap::rms;
    case LocalEvaluation::mean:
      break;
  }
  return ChannelMap::mean;
}

const HeightMatrix& Channel::map(ChannelMap which) const {
  switch (which) {
    case ChannelMap::pv:
      return pv_map;
    case ChannelMap::rms:
      return rms_map;
    case ChannelMap::mean:
      return mean_map;
    case ChannelMap::height_differences:
      break;
  }
  return height_map;
}

HeightMatrix& Channel::map(ChannelMap which) {
  return const_cast<HeightMatrix&>(static_cast<const Channel&>(*this).map(which));
}

ColourRange& Channel::range(ChannelMap which) {
  switch (which) {
    case ChannelMap::pv:
      return pv_range;
    case ChannelMap::rms:
      return rms_range;
    case ChannelMap::mean:
      return mean_range;
    case ChannelMap::height_differences:
      break;
  }
  return height_range;
}
