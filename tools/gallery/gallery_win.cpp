// gallery: shows sample message boxes one after another (error with heading, confirmation with
// timeout, attention, Hebrew right-to-left, a long text that wraps, custom button captions) and
// prints each result code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/Markup.h"
#include "ui/MsgBox.h"
#include "util/StrUtils.h"

namespace {

using namespace vel;

struct Sample {
    const char* name;
    const char* what;
    int (*show)(int timeoutMs);
};

int ErrorWithHeading(int timeoutMs) {
    return ShowMsgBox(kMsgHeading,
                      "The setup file <B>demo_setup.exe</B> could not be read.<P>"
                      "Please download it again.",
                      "Error", timeoutMs, kMbOk | kMbIconHand, 0, "");
}

int ConfirmWithTimeout(int timeoutMs) {
    return MsgBoxConfirm(kMsgActive,
                         "Do you want to install <B>Velnor Demo 2.1</B> now?<P><P>"
                         "Without an answer the installation starts by itself.",
                         "", timeoutMs > 0 ? timeoutMs : 10000, 0, "")
               ? kResultYes
               : kResultNo;
}

int Attention(int timeoutMs) {
    return ShowMsgBox(kMsgHeading, "Please close <B>Velnor Demo</B> before the update goes on.", "Attention",
                      timeoutMs, kMbOk | kMbIconExclamation, 0, "");
}

int HebrewRightToLeft(int timeoutMs) {
    // Windows-1255: "shalom" and "installation" in Hebrew, then a Latin word in bold.
    const char text[] = "\xF9\xEC\xE5\xED!<P>\xE4\xFA\xF7\xF0\xE4 <B>Velnor</B>";
    const char buttons[] = "|&\xE0\xE9\xF9\xE5\xF8|&\xE1\xE9\xE8\xE5\xEC|&\xEB\xEF|&\xEC\xE0|||";
    SetMsgBoxFont("Tahoma", 8, 177);
    const int r = ShowMsgBox(kMsgActive, text, "Velnor", timeoutMs, kMbOkCancel | kMbIconAsterisk, 177, buttons);
    SetMsgBoxFont("Tahoma", 8, DEFAULT_CHARSET);
    return r;
}

int LongTextWraps(int timeoutMs) {
    return ShowMsgBox(kMsgActive,
                      "This line is longer than six hundred pixels, so the box wraps it and grows by one "
                      "line for every started six hundred pixels of its width, while the short lines "
                      "below keep their own place.<P><T>- a tab stop<P><T>- another one\\\\nand an escaped "
                      "line break.",
                      "Long text", timeoutMs, kMbYesNoCancel | kMbIconQuestion | 0x100, 0, "");
}

int CustomCaptions(int timeoutMs) {
    return ShowMsgBox(kMsgHeading, "Die Datei <B>daten.cab</B> ist besch\xE4" "digt.", "Fehler", timeoutMs,
                      kMbAbortRetryIgnore, 0, "|&OK|A&bbrechen|&Ja|&Nein|&Stopp|&Nochmal|Ign&orieren|");
}

const Sample kSamples[] = {
    {"error", "error with heading", ErrorWithHeading},
    {"confirm", "confirmation with timeout (answers Yes when left alone)", ConfirmWithTimeout},
    {"attention", "attention with heading", Attention},
    {"hebrew", "Hebrew charset, right-to-left", HebrewRightToLeft},
    {"wrap", "long text that wraps, three buttons", LongTextWraps},
    {"custom", "custom button captions", CustomCaptions},
};

void Usage(FILE* out) {
    std::fprintf(out,
                 "Usage: gallery [--timeout MS] [--only NAME] [--list]\n"
                 "Shows sample message boxes one after another and prints each result code.\n"
                 "  --timeout MS  close every box after MS milliseconds (the first button answers);\n"
                 "                0 (default) waits for the user\n"
                 "  --only NAME   show one sample only\n"
                 "  --list        list the samples and end\n"
                 "  --help        this text\n"
                 "The Hebrew sample's texts are in code page 1255: they read right on a system whose\n"
                 "ANSI code page is Hebrew (under Wine: LANG=he_IL.UTF-8).\n");
}

}  // namespace

int main(int argc, char** argv) {
    int timeoutMs = 0;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--list") {
            for (const Sample& s : kSamples) std::printf("%-10s %s\n", s.name, s.what);
            return 0;
        } else if (a == "--timeout" && i + 1 < argc) {
            const int64_t v = StrToInt64Def(argv[++i], -1);
            if (v < 0 || v > 3600000) {
                std::fprintf(stderr, "gallery: --timeout needs milliseconds from 0 to 3600000, not \"%s\"\n", argv[i]);
                return 2;
            }
            timeoutMs = static_cast<int>(v);
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "gallery: unknown or incomplete option \"%s\"\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }
    bool shown = false;
    for (const Sample& s : kSamples) {
        if (!only.empty() && only != s.name) continue;
        shown = true;
        const int r = s.show(timeoutMs);
        std::printf("%s: %d\n", s.name, r);
        std::fflush(stdout);
    }
    if (!shown) {
        std::fprintf(stderr, "gallery: no sample named \"%s\" (see --list)\n", only.c_str());
        return 2;
    }
    return 0;
}
