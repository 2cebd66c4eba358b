// kvel-cli's command line: what it accepts, and the exit code and reason for what it refuses.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <regex>

namespace kvel::cli {
namespace {

ParsedCommandLine Parse(std::vector<std::string> arguments) {
    return ParseCommandLine(arguments);
}

void ExpectRefused(std::vector<std::string> arguments, int exitCode, const std::string& reason) {
    const ParsedCommandLine parsed = Parse(arguments);
    EXPECT_FALSE(parsed.invocation);
    EXPECT_EQ(parsed.exitCode, exitCode) << parsed.text;
    EXPECT_NE(parsed.text.find(reason), std::string::npos) << parsed.text;
}

TEST(CommandLineTest, ReadsThePortAsACOMNumberOrADevicePathAndOptionsOnEitherSideOfTheVerb) {
    const ParsedCommandLine com = Parse({"status", "--port", "COM3", "--json"});
    ASSERT_TRUE(com.invocation) << com.text;
    EXPECT_EQ(com.invocation->portName, "\\\\.\\COM3");
    EXPECT_EQ(com.invocation->portLabel, "COM3");
    EXPECT_TRUE(com.invocation->json);
    const ParsedCommandLine path = Parse({"--port=/dev/ttyUSB0", "--baud", "115200", "--address",
                                          "7", "--timeout", "0,5", "get", "16"});
    ASSERT_TRUE(path.invocation) << path.text;
    EXPECT_EQ(path.invocation->portName, "/dev/ttyUSB0");
    EXPECT_EQ(path.invocation->baudIndex, 9);
    EXPECT_EQ(path.invocation->address, 7);
    EXPECT_EQ(path.invocation->timeoutMs, 500);
    EXPECT_STREQ(path.invocation->target->name, "voltage-setpoint");
    EXPECT_EQ(Parse({"--port", "2", "--baud", "4", "status"}).invocation->baudIndex, 4);
}

TEST(CommandLineTest, SetTakesTheValueInTheRegistersUnitWithCommaOrPoint) {
    const ParsedCommandLine comma = Parse({"--port", "1", "set", "voltage-setpoint", "48,5"});
    ASSERT_TRUE(comma.invocation) << comma.text;
    EXPECT_EQ(comma.invocation->value, 485);
    EXPECT_EQ(Parse({"--port", "1", "set", "17", "12.5"}).invocation->value, 125);
}

TEST(CommandLineTest, RefusedValuesExitWithOneAndSayWhy) {
    ExpectRefused({"--port", "1", "set", "voltage-setpoint", "-1"}, kExitRefused,
                  "it takes 0.0 to 6553.5 V");
    ExpectRefused({"--port", "1", "set", "voltage-setpoint", "48,55"}, kExitRefused,
                  "more than one decimal");
    ExpectRefused({"--port", "1", "set", "sound-signal", "2"}, kExitRefused, "it takes 0 to 1");
    ExpectRefused({"--port", "1", "set", "device-address", "5"}, kExitRefused, "connection window");
}

TEST(CommandLineTest, AnUnknownRegisterListsTheKnownNames) {
    ExpectRefused({"--port", "1", "set", "voltage", "48"}, kExitUsage,
                  "Unknown register \"voltage\". Known names: power-stage-voltage, output-current");
    ExpectRefused({"--port", "1", "set", "status", "1"}, kExitRefused,
                  "status is an input register");
    ExpectRefused({"--port", "1", "set", "output-voltage", "50"}, kExitRefused,
                  "output-voltage is read-only");
}

TEST(CommandLineTest, TheBroadcastAddressIsRefusedForEveryVerb) {
    for (const char* verb : {"status", "watch"})
        ExpectRefused({"--port", "1", "--address", "0", verb}, kExitUsage,
                      "address 0 is the broadcast address");
    ExpectRefused({"--port", "1", "--address", "0", "set", "16", "48"}, kExitUsage,
                  "kvel sends no writes to it");
    ExpectRefused({"--port", "1", "--address", "255", "status"}, kExitUsage, "1 to 254");
}

TEST(CommandLineTest, UsageErrorsExitWithThreeAndSayWhatIsWrong) {
    ExpectRefused({}, kExitUsage, "No verb given.");
    ExpectRefused({"--port", "1", "fly"}, kExitUsage, "Unknown verb \"fly\"; verbs: status, watch");
    ExpectRefused({"status"}, kExitUsage, "--port is required");
    ExpectRefused({"--port", "tty", "status"}, kExitUsage, "--port wants a COM number");
    ExpectRefused({"--port", "1", "--baud", "9601", "status"}, kExitUsage, "--baud wants 1200");
    ExpectRefused({"--port", "1", "--timeout", "0", "status"}, kExitUsage,
                  "--timeout wants seconds");
    ExpectRefused({"--port", "1", "--timeout", "1.2345", "status"}, kExitUsage,
                  "--timeout wants seconds");
    ExpectRefused({"--port", "1", "status", "--csv", "x.csv"}, kExitUsage,
                  "--csv is not an option of status");
    ExpectRefused({"--port", "1", "watch", "--interval", "0.09"}, kExitUsage,
                  "--interval wants seconds from 0.1");
    ExpectRefused({"--port", "1", "--gap", "-1", "status"}, kExitUsage, "--gap wants milliseconds");
    ExpectRefused({"--port", "1", "--gap", "10001", "status"}, kExitUsage,
                  "--gap wants milliseconds");
    ExpectRefused({"--port", "1", "status", "--raw"}, kExitUsage,
                  "--raw is not an option of status");
    ExpectRefused({"--port", "1", "get"}, kExitUsage, "get takes 1 operand(s), 0 given");
    ExpectRefused({"--port", "1", "backup", "a", "b"}, kExitUsage,
                  "backup takes 1 operand(s), 2 given");
    ExpectRefused({"--port", "1", "--port", "2", "status"}, kExitUsage, "--port is given twice");
    ExpectRefused({"--port"}, kExitUsage, "--port needs a value");
    ExpectRefused({"--port", "1", "--json=yes", "status"}, kExitUsage, "--json takes no value");
    ExpectRefused({"--port", "1", "--colour", "status"}, kExitUsage, "Unknown option --colour");
}

TEST(CommandLineTest, HelpForTheProgramAndForEachVerbExitsWithZero) {
    const ParsedCommandLine program = Parse({"--help"});
    EXPECT_EQ(program.exitCode, kExitOk);
    EXPECT_NE(program.text.find("upload FIRMWARE"), std::string::npos);
    EXPECT_NE(program.text.find("Exit: 0 done, 1 value refused"), std::string::npos);
    for (const char* verb :
         {"status", "watch", "get", "set", "backup", "compare", "restore", "upload"}) {
        const ParsedCommandLine help = Parse({verb, "--help"});
        EXPECT_EQ(help.exitCode, kExitOk) << verb;
        EXPECT_NE(help.text.find(std::string("[options] ") + verb), std::string::npos) << help.text;
        EXPECT_EQ(Parse({"help", verb}).text, help.text);
    }
    EXPECT_NE(Parse({"restore", "-h"}).text.find("--with-calibration"), std::string::npos);
    ExpectRefused({"help", "fly"}, kExitUsage, "Unknown verb");
}

// As mbpoll reads --port: a name with a '/' is a device path, a number with or without COM a COM
// port; anything else is neither.
TEST(CommandLineTest, ANameWithASlashIsADevicePathAndANumberACOMPort) {
    const struct {
        const char* given;
        const char* name;
        const char* label;
    } ports[] = {
        {"3", "\\\\.\\COM3", "COM3"},
        {"COM3", "\\\\.\\COM3", "COM3"},
        {"com3", "\\\\.\\COM3", "COM3"},
        {"./com1", "./com1", "./com1"},
        {"dosdevices/com1", "dosdevices/com1", "dosdevices/com1"},
        {"../dev/ttyUSB0", "../dev/ttyUSB0", "../dev/ttyUSB0"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0"},
    };
    for (const auto& port : ports) {
        const ParsedCommandLine parsed = Parse({"--port", port.given, "status"});
        ASSERT_TRUE(parsed.invocation) << port.given << ": " << parsed.text;
        EXPECT_EQ(parsed.invocation->portName, port.name) << port.given;
        EXPECT_EQ(parsed.invocation->portLabel, port.label) << port.given;
    }
    for (const char* refused : {"COM", "com0", "COM3x", "ttyUSB0", ""})
        ExpectRefused({"--port", refused, "status"}, kExitUsage, "--port wants a COM number");
}

TEST(CommandLineTest, VersionIsPrintedWithOrWithoutAVerbAndNeedsNoPort) {
    const std::regex version("kvel-cli [0-9]+\\.[0-9]+\\.[0-9]+");
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--version"},
                                                      {"--port", "1", "status", "--version"},
                                                      {"find", "--version"}}) {
        const ParsedCommandLine parsed = Parse(arguments);
        EXPECT_FALSE(parsed.invocation);
        EXPECT_EQ(parsed.exitCode, kExitOk);
        EXPECT_TRUE(std::regex_match(parsed.text, version)) << parsed.text;
    }
}

TEST(CommandLineTest, WatchAndRestoreOptions) {
    const ParsedCommandLine watch =
        Parse({"--port", "1", "watch", "--interval", "2.5", "--csv", "log.csv", "--count", "3"});
    ASSERT_TRUE(watch.invocation) << watch.text;
    EXPECT_EQ(watch.invocation->intervalMs, 2500);
    EXPECT_EQ(watch.invocation->csvPath, "log.csv");
    EXPECT_EQ(watch.invocation->count, 3);
    EXPECT_EQ(Parse({"--port", "1", "watch", "--interval", "0.1"}).invocation->intervalMs, 100);
    EXPECT_EQ(Parse({"--port", "1", "--gap", "20", "get", "input:20"}).invocation->gapMs, 20);
    EXPECT_STREQ(Parse({"--port", "1", "get", "input:20"}).invocation->target->name,
                 "voltage-correction");
    EXPECT_TRUE(Parse({"--port", "1", "upload", "--raw", "fw.hex"}).invocation->raw);
    const ParsedCommandLine restore =
        Parse({"--port", "1", "restore", "--force", "--with-calibration", "--", "--odd-name.ini"});
    ASSERT_TRUE(restore.invocation) << restore.text;
    EXPECT_TRUE(restore.invocation->force);
    EXPECT_TRUE(restore.invocation->withCalibration);
    EXPECT_EQ(restore.invocation->file, "--odd-name.ini");
}

TEST(CommandLineTest, FindTakesOneRateOrAllAndARangeOfAddresses) {
    const ParsedCommandLine plain = Parse({"--port", "1", "find"});
    ASSERT_TRUE(plain.invocation) << plain.text;
    EXPECT_FALSE(plain.invocation->baudGiven);
    EXPECT_FALSE(plain.invocation->allRates);
    EXPECT_EQ(plain.invocation->firstAddress, 1);
    EXPECT_EQ(plain.invocation->lastAddress, 254);
    const ParsedCommandLine narrow =
        Parse({"find", "--port", "1", "--baud", "38400", "--addresses", "3-7", "--json"});
    ASSERT_TRUE(narrow.invocation) << narrow.text;
    EXPECT_TRUE(narrow.invocation->baudGiven);
    EXPECT_EQ(narrow.invocation->baudIndex, 6);
    EXPECT_EQ(narrow.invocation->firstAddress, 3);
    EXPECT_EQ(narrow.invocation->lastAddress, 7);
    const ParsedCommandLine one =
        Parse({"--port", "1", "find", "--addresses", "250", "--all-rates"});
    ASSERT_TRUE(one.invocation) << one.text;
    EXPECT_TRUE(one.invocation->allRates);
    EXPECT_EQ(one.invocation->firstAddress, 250);
    EXPECT_EQ(one.invocation->lastAddress, 250);

    for (const char* range : {"0-5", "7-3", "1-255", "1-", "-4", "a-b", "1--2", ""})
        ExpectRefused({"--port", "1", "find", "--addresses", range}, kExitUsage,
                      "--addresses wants");
    ExpectRefused({"--port", "1", "find", "--baud", "9600", "--all-rates"}, kExitUsage,
                  "give one of them");
    ExpectRefused({"--port", "1", "find", "--address", "3"}, kExitUsage, "--addresses FIRST-LAST");
    ExpectRefused({"--port", "1", "find", "--timeout", "3"}, kExitUsage, "no --timeout");
    ExpectRefused({"--port", "1", "status", "--all-rates"}, kExitUsage, "not an option of status");
    EXPECT_NE(Parse({"find", "--help"}).text.find("--all-rates"), std::string::npos);
}

} // namespace
} // namespace kvel::cli

namespace kvel::cli {
namespace {

TEST(SeveralUnitsCommandLineTest, StatusGetWatchAndServeTakeAListOfUnitsWritesTakeOne) {
    for (const char* verb : {"status", "watch", "serve"}) {
        const ParsedCommandLine parsed = Parse({"--port", "1", "--address", "1, 3,7-9", verb});
        ASSERT_TRUE(parsed.invocation) << verb << ": " << parsed.text;
        EXPECT_EQ(parsed.invocation->addresses, (std::vector<std::uint8_t>{1, 3, 7, 8, 9}));
        EXPECT_EQ(parsed.invocation->address, 1);
    }
    EXPECT_EQ(Parse({"--port", "1", "--address", "5-6", "get", "16"}).invocation->addresses.size(),
              2u);
    EXPECT_EQ(Parse({"--port", "1", "set", "16", "50"}).invocation->addresses,
              (std::vector<std::uint8_t>{1}));
    ExpectRefused({"--port", "1", "--address", "1,3", "set", "16", "50"}, kExitUsage,
                  "set talks to one unit at a time");
    ExpectRefused({"--port", "1", "--address", "1-2", "backup", "f.ini"}, kExitUsage,
                  "backup talks to one unit at a time");
    ExpectRefused({"--port", "1", "--address", "1,0", "status"}, kExitUsage,
                  "0 is the broadcast address");
    ExpectRefused({"--port", "1", "--address", "1,1", "status"}, kExitUsage, "lists 1 twice");
    ExpectRefused({"--port", "1", "--address", "9-3", "status"}, kExitUsage, "from the lower");
    ExpectRefused({"--port", "1", "--address", "300", "status"}, kExitUsage, "300 is not");
}

TEST(SeveralUnitsCommandLineTest, ServeListensOnLoopbackUnlessToldWhere) {
    const struct {
        const char* listen;
        const char* host;
        int port;
    } cases[] = {{nullptr, "127.0.0.1", 9877},
                 {"9100", "127.0.0.1", 9100},
                 {"0.0.0.0:9100", "0.0.0.0", 9100},
                 {"[::1]:9101", "::1", 9101}};
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"--port", "1", "serve"};
        if (c.listen) arguments.insert(arguments.end(), {"--listen", c.listen});
        const ParsedCommandLine parsed = Parse(arguments);
        ASSERT_TRUE(parsed.invocation) << parsed.text;
        EXPECT_EQ(parsed.invocation->listenHost, c.host);
        EXPECT_EQ(parsed.invocation->listenPort, c.port);
        EXPECT_EQ(parsed.invocation->intervalMs, 1000);
    }
    for (const char* bad : {"", "host:", ":0", "x:99999", "127.0.0.1:port"})
        ExpectRefused({"--port", "1", "serve", "--listen", bad}, kExitUsage, "--listen wants");
    ExpectRefused({"--port", "1", "status", "--listen", "9100"}, kExitUsage,
                  "--listen is not an option of status");
}

} // namespace
} // namespace kvel::cli
