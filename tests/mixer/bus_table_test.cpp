// Bus on flags, channels on no bus, and the bus count of a pass.
#include <gtest/gtest.h>

#include "mixer/channel_mixer.hpp"

namespace varnow {
namespace {

TEST(BusTable, MasterStaysOnOtherBussesFollowTheirChannels) {
  BusMatrix matrix{};
  BusFlags on{};
  on[0] = 1;
  on[1] = 1;
  on[5] = 1;
  matrix[2][7] = 1;     // bus 3 gains a channel
  matrix[63][255] = 1;  // the last bus, the last channel
  UpdateBusses(matrix, on);
  EXPECT_EQ(on[0], 1);  // bus 1 holds nothing but stays on
  EXPECT_EQ(on[1], 0);  // bus 2 lost its channels
  EXPECT_EQ(on[2], 1);
  EXPECT_EQ(on[5], 0);
  EXPECT_EQ(on[63], 1);
  // Bus 1 off stays off too: it is never recounted.
  BusFlags off{};
  matrix[0][0] = 1;
  UpdateBusses(matrix, off);
  EXPECT_EQ(off[0], 0);
}

TEST(BusTable, VerifyChannelsSilencesChannelsOnNoBus) {
  BusMatrix matrix{};
  PlayFlags flags{};
  flags[0] = 1;
  flags[1] = 1;
  flags[2] = 1;
  flags[255] = 1;
  matrix[0][0] = 1;
  matrix[40][2] = 1;
  matrix[63][255] = 1;
  matrix[5][3] = 1;  // on a bus but not playing: stays off
  VerifyChannels(matrix, flags);
  EXPECT_EQ(flags[0], 1);
  EXPECT_EQ(flags[1], 0);
  EXPECT_EQ(flags[2], 1);
  EXPECT_EQ(flags[3], 0);
  EXPECT_EQ(flags[255], 1);
}

TEST(BusTable, BusCountIsBoundedTo64) {
  EXPECT_EQ(busCountFor(2, 8, 32, 0), 4);
  EXPECT_EQ(busCountFor(2, 9, 32, 0), 4);
  EXPECT_EQ(busCountFor(3, 8, 32, 0), 16);
  EXPECT_EQ(busCountFor(3, 8, 3, 0), 1);
  EXPECT_EQ(busCountFor(2, 256, 256, 0), 64);
  EXPECT_EQ(busCountFor(3, 2, 256, 0), 64);
  EXPECT_EQ(busCountFor(2, 130, 2, 0), 64);
  EXPECT_EQ(busCountFor(1, 256, 256, 7), 7);
  EXPECT_EQ(busCountFor(0, 256, 256, 100), 64);
  EXPECT_EQ(busCountFor(2, -1, 0, 0), 0);
}

}  // namespace
}  // namespace varnow
