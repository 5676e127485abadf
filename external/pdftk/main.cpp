// pdftk: the small PDF toolkit Parchwipe runs to empty a PDF's document information.
// Usage: pdftk IN update_info INFO output OUT dont_ask
// Exit codes: 0 done, 2 wrong usage, else Formats::toolExitCode of why IN was refused (DiskFull
// when the disk was too full for OUT). OUT is written whole or not at all.

#include "InfoUpdate.h"
#include "OutputFile.h"
#include "formats/core/Formats.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFSystemError.hh>

#include <cstring>
#include <exception>
#include <iostream>

namespace {

bool isUpdateInfoCall(int argc, char *argv[]) {
    return argc == 7 && std::strcmp(argv[2], "update_info") == 0 &&
           std::strcmp(argv[4], "output") == 0 && std::strcmp(argv[6], "dont_ask") == 0;
}

// "pdftk: IN: reason" on the error line; the exit code tells the engine the cause.
int refuse(const char *input, const char *reason, Formats::Cause cause) {
    std::cerr << "pdftk: " << input << ": " << reason << '\n';
    return Formats::toolExitCode(cause);
}

// The last part of the message line is a reason the user can act on, so libqpdf's offsets and
// parser details stay out of it.
int refuseUnreadable(const char *input, const QPDFExc &error) {
    return error.getErrorCode() == qpdf_e_password
               ? refuse(input, "locked with a password", Formats::Cause::Protected)
               : refuse(input, "damaged PDF file", Formats::Cause::Damaged);
}

Formats::Cause causeOf(const std::exception &error) {
    if (const auto *refused = dynamic_cast<const Formats::Refused *>(&error)) {
        return refused->cause();
    }
    return dynamic_cast<const DiskFull *>(&error) != nullptr ? Formats::Cause::DiskFull
                                                             : Formats::Cause::Internal;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (!isUpdateInfoCall(argc, argv)) {
        std::cerr << "Usage: pdftk IN update_info INFO output OUT dont_ask\n";
        return 2;
    }
    try {
        updateInfo(argv[1], readInfoFile(argv[3]), argv[5]);
    } catch (const QPDFExc &error) {
        return refuseUnreadable(argv[1], error);
    } catch (const QPDFSystemError &) {
        return refuse(argv[1], "the PDF cannot be read", Formats::Cause::NotReadable);
    } catch (const std::exception &error) {
        return refuse(argv[1], error.what(), causeOf(error));
    } catch (...) {
        return refuse(argv[1], "damaged PDF file", Formats::Cause::Damaged);
    }
    return 0;
}
