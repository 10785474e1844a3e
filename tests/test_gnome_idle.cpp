// GnomeIdle's refusals on real buses: what it says when the session has no bus, or a bus without
// GNOME's idle monitor (the source's watching is tested under GNOME Shell, end to end).
#include <gtest/gtest.h>

#include <cstdlib>

#include "GnomeIdle.h"
#include "PrivateBus.h"

namespace {

TEST(GnomeIdle, SaysWhyItCannotWatch) {
  TPrivateBus Bus;
  ASSERT_TRUE(Bus.Up());
  TTempDir Empty;
  const std::string NoSocket = "unix:path=" + (Empty.Path() / "bus").string();
  const struct {
    std::string Address;
    std::string Why;
  } Cases[] = {
      {Bus.Address(), "org.gnome.Mutter.IdleMonitor is not on the session bus"},
      {NoSocket, "no session bus"},
  };
  for (const auto& Case : Cases) {
    setenv("DBUS_SESSION_BUS_ADDRESS", Case.Address.c_str(), 1);
    std::string Why;
    EXPECT_EQ(OpenGnomeIdle(3000, Why), nullptr) << Case.Address;
    EXPECT_EQ(Why, Case.Why) << Case.Address;
  }
}

}  // namespace
