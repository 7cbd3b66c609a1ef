#pragma once

// A test program runs as on a machine of its own: whatever the machine has in its home folder
// (settings, recent files, caches), its language, time zone, printers and proxy never reach a
// test. Call isolateTestEnvironment() first thing in main, before any thread or application
// object exists.

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <sys/stat.h>

namespace TestEnvironment {

inline std::string &home()
{
    static std::string path;
    return path;
}

inline void removeHome()
{
    std::error_code ignored;
    if (!home().empty())
        std::filesystem::remove_all(home(), ignored);
}

} // namespace TestEnvironment

inline void isolateTestEnvironment()
{
    // A fresh, empty home for settings and caches, removed when the program ends.
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-test-home-XXXXXX").string();
    if (::mkdtemp(pattern.data())) {
        TestEnvironment::home() = pattern;
        std::atexit(TestEnvironment::removeHome);
        ::setenv("HOME", pattern.c_str(), 1);
        for (const char *folder : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            ::setenv(folder, (pattern + "/" + folder).c_str(), 1);
        const std::string runtime = pattern + "/XDG_RUNTIME_DIR";
        if (::mkdir(runtime.c_str(), 0700) == 0)
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        // The machine's own defaults (/etc/xdg) are settings too.
        ::setenv("XDG_CONFIG_DIRS", (pattern + "/XDG_CONFIG_DIRS").c_str(), 1);
    }
    // Printing never reaches the machine's scheduler: with a printer there, Qt would fall back
    // to it wherever a test leaves no file to print to. Only a scheduler that a test starts
    // itself is named, through VANTREL_TEST_CUPS_SERVER; else a socket that cannot exist.
    const char *ownScheduler = std::getenv("VANTREL_TEST_CUPS_SERVER");
    ::setenv("CUPS_SERVER", ownScheduler && *ownScheduler ? ownScheduler : "/nonexistent/vantrel-tests/cups.sock", 1);
    for (const char *name : {"PRINTER", "LPDEST", "LANGUAGE", "http_proxy", "https_proxy", "all_proxy", "no_proxy",
                             "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY", "QT_SCALE_FACTOR",
                             "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_ENABLE_HIGHDPI_SCALING", "QT_STYLE_OVERRIDE",
                             "QT_QPA_PLATFORMTHEME"})
        ::unsetenv(name);
    // A test that places windows at a desktop's scale names it itself.
    if (const char *scale = std::getenv("VANTREL_TEST_SCALE_FACTOR"); scale && *scale)
        ::setenv("QT_SCALE_FACTOR", scale, 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("LANG", "C.UTF-8", 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}
