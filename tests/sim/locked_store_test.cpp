// A whole run of the built-in plug-in on a real store file while another connection is in the
// middle of writing to it: the login reads the last committed counts, and nothing is lost.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sstream>

#include "platform/fake/fake_clock.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/sqlite_settings_store.h"
#include "scratch_folder.h"
#include "sim/builtin_binding.h"
#include "sim/runner.h"
#include "sim/sim_host.h"
#include "sim/transcript.h"
#include "sim/xml_parser.h"

namespace murl {
namespace {

using testing_support::ReadBytes;
using testing_support::ScratchFolder;

TEST(LockedStore, ALoginReadsTheCommittedCountsWhileAnotherConnectionWrites) {
    ScratchFolder folder;
    const std::string file = folder.Path("settings.sqlite");
    SqliteSettingsStore(file).SaveSetting(u"Murl", u"SAlice", u"Evades", u"41");

    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer,
                           "BEGIN EXCLUSIVE;"
                           " INSERT INTO settings VALUES ('Murl', 'Settings', 'Bots', 'True')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);

    // A short wait: a login that had to wait for the writer would fail rather than pass late.
    SqliteSettingsStore store(file, std::chrono::milliseconds(100));
    PosixPlatform posix{folder.Text()};
    FakeClock clock;
    const Platform platform{posix.files, clock, posix.message_box, posix.app, store, u'/'};
    auto parser = sim::MakeXmlParser();
    sim::SimHost host(*parser);
    sim::BuiltinBinding plugin(platform);
    std::ostringstream out;
    sim::JsonTranscript transcript(out);
    sim::ErrorLogFaults error_log(platform, plugin);
    sim::Runner runner(host, plugin, transcript, error_log);
    runner.Run(
        "init\n"
        "identity1 Alice\n"
        "identity2 S\n"
        "login\n"
        "chat 21 You evaded x\n");

    EXPECT_EQ(sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(writer);
    plugin.Terminate();

    EXPECT_EQ(store.Find(u"Murl", u"SAlice", u"Evades"), u"42");
    EXPECT_EQ(store.Find(u"Murl", u"Settings", u"Bots"), u"True");
    EXPECT_EQ(ReadBytes(folder.Path("murl_err.log")), std::nullopt);  // nothing went wrong
}

}  // namespace
}  // namespace murl
