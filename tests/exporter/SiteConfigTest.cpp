// kvel-exporter's configuration file and command line: the form the README shows, and every
// kind of bad input refused with the line it is on.
#include "SiteConfig.h"
#include "ExporterOptions.h"
#include "KvelVersion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace kvel::exporter {
namespace {

const char* const kSite = "# the north plant\n"
                          "[exporter]\n"
                          "listen = 127.0.0.1:9877\n"
                          "probe-allow = 127.0.0.1, 127.1.0.0/16, gw.plant\n"
                          "\n"
                          "[line plant-a]\n"
                          "port = modbus-tcp://127.0.0.5:502\n"
                          "addresses = 1-8\n"
                          "interval = 1\n"
                          "labels = site=north, cabinet=3\n"
                          "; a serial line beside it\n"
                          "[line bench]\r\n"
                          "port = /dev/ttyUSB0\r\n"
                          "baud = 19200\r\n"
                          "addresses = 1, 7\r\n"
                          "interval = 0,5\r\n";

TEST(SiteConfigTest, ReadsTheExporterAndEveryLineWithListsAsLists) {
    const ConfigRead read = ParseSiteConfig(kSite);
    ASSERT_TRUE(read.config) << read.refusal.line << ": " << read.refusal.text;
    const SiteConfig& site = *read.config;
    ASSERT_TRUE(site.listen);
    EXPECT_EQ(site.listen->host, "127.0.0.1");
    EXPECT_EQ(site.listen->port, 9877);
    EXPECT_EQ(site.probeAllow, (std::vector<std::string>{"127.0.0.1", "127.1.0.0/16", "gw.plant"}));
    ASSERT_EQ(site.lines.size(), 2u);
    const LineConfig& a = site.lines[0];
    EXPECT_EQ(a.name, "plant-a");
    EXPECT_EQ(a.port.label, "modbus-tcp://127.0.0.5:502");
    EXPECT_EQ(a.addresses, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(a.intervalMs, 1000);
    EXPECT_EQ(a.bitRate, 9600);
    EXPECT_EQ(a.labels, (std::vector<std::pair<std::string, std::string>>{{"site", "north"},
                                                                          {"cabinet", "3"}}));
    const LineConfig& bench = site.lines[1];
    EXPECT_EQ(bench.port.name, "/dev/ttyUSB0");
    EXPECT_EQ(bench.bitRate, 19200);
    EXPECT_EQ(bench.addresses, (std::vector<std::uint8_t>{1, 7}));
    EXPECT_EQ(bench.intervalMs, 500);
    EXPECT_TRUE(bench.labels.empty());
}

TEST(SiteConfigTest, RefusesBadInputWithTheLineItIsOn) {
    const std::string line = "[line a]\nport = /dev/ttyS0\naddresses = 1\n";
    const struct {
        std::string text;
        int line;
        const char* says;
    } cases[] = {
        {"[exporter]\n[exporter]\n", 2, "again; it began at line 1"},
        {line + line, 4, "[line a] again; it began at line 1"},
        {"[line a]\nport = /dev/ttyS0\nport = /dev/ttyS1\n", 3,
         "port given again; it was set at line 2"},
        {"[exporter]\nlisten = 127.0.0.1:1\nlistn = x\n", 3, "unknown key \"listn\""},
        {"[line a]\nport = /dev/ttyS0\nspeed = 9600\n", 3, "unknown key \"speed\" in [line a]"},
        {"[lines a]\n", 1, "unknown section [lines a]"},
        {"[line a b]\n", 1, "a line's name"},
        {"[line a\n", 1, "ends with ]"},
        {"port = /dev/ttyS0\n", 1, "before any section"},
        {"[line a]\nport /dev/ttyS0\n", 2, "neither [section] nor key = value"},
        {"[line a]\nport =\n", 2, "port has no value"},
        {"[line a]\nport = modbus-tcp://\naddresses = 1\n", 2, "port: "},
        {"[line a]\nport = http://127.0.0.1:80\naddresses = 1\n", 2, "port wants a COM number"},
        {"[line a]\nport = tcp://127.0.0.1:70000\n", 2, "port: "},
        {"[line a]\nport = /dev/ttyS0\naddresses = 0\n", 3, "broadcast address"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1,1\n", 3, "lists 1 twice"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1-300\n", 3, "not a unit's address"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\ninterval = 0.01\n", 4, "interval wants"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\nbaud = 9601\n", 4, "baud wants"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\nlabels = site\n", 4, "name=value pairs"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\nlabels = a=1,\n", 4, "name=value pairs"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\nlabels = 1x=1\n", 4, "not a label name"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\nlabels = __x=1\n", 4, "not a label name"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\nlabels = port=1\n", 4, "Prometheus' own"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\nlabels = job=1\n", 4, "Prometheus' own"},
        {"[line a]\nport = /dev/ttyS0\naddresses = 1\nlabels = a=1, a=2\n", 4, "names \"a\" twice"},
        {"[line a]\nport = /dev/ttyS0\n[line b]\n", 1, "[line a] has no addresses key"},
        {"[line a]\naddresses = 1\n", 1, "[line a] has no port key"},
        {line + "[line b]\nport = /dev/ttyS0\naddresses = 2\n", 4, "has the port of [line a]"},
        {"[exporter]\nlisten = 127.0.0.1:0\n", 2, "listen wants HOST:PORT"},
        {"[exporter]\nlisten = plant:9877\n", 2, "plant is not an IP address"},
        {"[exporter]\nprobe-allow = 127.0.0.1, , 127.0.0.2\n", 2, "not \"\""},
        {"[exporter]\nprobe-allow = 127.0.0.0/33\n", 2, "probe-allow wants"},
        {"[exporter]\nprobe-allow = http://x\n", 2, "probe-allow wants"},
    };
    for (const auto& c : cases) {
        const ConfigRead read = ParseSiteConfig(c.text);
        ASSERT_FALSE(read.config) << c.text;
        EXPECT_EQ(read.refusal.line, c.line) << c.text << read.refusal.text;
        EXPECT_NE(read.refusal.text.find(c.says), std::string::npos)
            << c.text << "said: " << read.refusal.text;
    }
}

TEST(SiteConfigTest, AFileIsRefusedWithItsNameAndLineOrWhenItCannotBeRead) {
    const std::string path = testing::TempDir() + "site-config-test.ini";
    {
        std::ofstream file(path);
        file << "[exporter]\nlisten = 127.0.0.1:9877\nwhat = 1\n";
    }
    EXPECT_EQ(ReadSiteConfig(path).refusal.text,
              path + ":3: unknown key \"what\" in [exporter]; known: listen, probe-allow");
    EXPECT_EQ(ReadSiteConfig(path + ".missing").refusal.text, path + ".missing: cannot be read");
    EXPECT_FALSE(ReadSiteConfig(testing::TempDir()).config) << "a folder is no file";
    {
        std::ofstream file(path);
        file << std::string(kMostConfigBytes + 1, '#');
    }
    EXPECT_NE(ReadSiteConfig(path).refusal.text.find("larger than 1 MiB"), std::string::npos);
    std::remove(path.c_str());
}

TEST(ExporterOptionsTest, TakesAFileOrOneLineAsKvelCliNamesIt) {
    const ParsedOptions file = ParseExporterOptions({"--config", "/etc/kvel/exporter.ini"});
    ASSERT_TRUE(file.options);
    EXPECT_EQ(file.options->configPath, "/etc/kvel/exporter.ini");
    EXPECT_FALSE(file.options->line);

    const ParsedOptions line =
        ParseExporterOptions({"--port=3", "--baud", "19200", "--address", "1,7", "--interval",
                              "2.5", "--listen", "[::1]:9000"});
    ASSERT_TRUE(line.options) << line.text;
    ASSERT_TRUE(line.options->line);
    EXPECT_EQ(line.options->line->port.label, "COM3");
    EXPECT_EQ(line.options->line->bitRate, 19200);
    EXPECT_EQ(line.options->line->addresses, (std::vector<std::uint8_t>{1, 7}));
    EXPECT_EQ(line.options->line->intervalMs, 2500);
    EXPECT_EQ(line.options->listen->host, "::1");
    EXPECT_EQ(line.options->listen->port, 9000);

    EXPECT_EQ(ParseExporterOptions({"--version"}).text, std::string("kvel-exporter ") + kVersion);
    EXPECT_EQ(ParseExporterOptions({"--help"}).exitCode, kExporterOk);
}

TEST(ExporterOptionsTest, RefusesWhatItCannotRunAsUsage) {
    const struct {
        std::vector<std::string> arguments;
        const char* says;
    } cases[] = {
        {{}, "Give --config FILE, or --port PORT"},
        {{"--config", "a.ini", "--port", "1"}, "with --config, the file names the lines"},
        {{"--config"}, "--config needs a value"},
        {{"--config="}, "--config wants a file name"},
        {{"--port", "1", "--port", "2"}, "--port is given twice"},
        {{"--port", "1", "serve"}, "takes no operands"},
        {{"--port", "1", "--json"}, "Unknown option --json"},
        {{"--port", "1", "--address", "0"}, "broadcast address"},
        {{"--port", "1", "--baud", "9601"}, "--baud wants"},
        {{"--port", "1", "--interval", "0"}, "--interval wants"},
        {{"--port", "1", "--listen", "x"}, "--listen wants"},
        {{"--port", "ftp://x"}, "--port wants"},
        {{"--version=1"}, "takes no value"},
    };
    for (const auto& c : cases) {
        const ParsedOptions parsed = ParseExporterOptions(c.arguments);
        EXPECT_FALSE(parsed.options) << c.says;
        EXPECT_EQ(parsed.exitCode, kExporterUsage);
        EXPECT_NE(parsed.text.find(c.says), std::string::npos) << parsed.text;
    }
}

} // namespace
} // namespace kvel::exporter
