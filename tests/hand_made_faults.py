#!/usr/bin/env python3
"""Plants each hand-made fault in turn, rebuilds the test program that covers it, runs that
program's cases and tells whether a test failed (caught) or all passed (missed). Every fault is
one edit of one source line; the file is checked out again after each run.

    tests/hand_made_faults.py BUILD_DIR [NUMBER ...]
"""
import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# (number, file, text, faulty text, build targets, (test program, gtest filter) pairs)
FORMATS = ("formats_tests",)
PDF = ("pdftk", "engine_tests")
ENGINE = ("engine_tests",)
CORE_AND_ENGINE = ("formats_tests", "engine_tests")
CORE = "-Packages.ACleanedEpub3StaysValid"
SOUND = "*Sound*:Hostile.*:*Lying*:*Hidden*:*OddForm*:Kinds.*"
PSD = "*Pictures*:Documents.*:Hostile.*:Kinds.*"
OLD_OFFICE = "CompoundFiles.*:Hostile.*:Kinds.*"
PACKAGES = "Packages.*:-Packages.ACleanedEpub3StaysValid"
FAULTS = [
    (1, "engine/Exiv2Tool.cpp", "exitCode > 0 ? Formats::Cause::Damaged :",
     "exitCode > 0 ? Formats::Cause::Internal :", ENGINE, (("engine_tests", "*"),)),
    (2, "formats/core/ByteFile.cpp", "errno == ENOSPC || errno == EDQUOT", "errno == EDQUOT",
     ENGINE, (("engine_tests", "*"),)),
    (3, "formats/core/ByteFile.cpp", "    for (std::size_t done = 0; done < length; done += Slice) {\n"
     "        throwIfStopped();\n        const std::size_t part = std::min(Slice, length - done);\n"
     "        if (buffer_ != nullptr) {\n            std::memcpy(into",
     "    for (std::size_t done = 0; done < length; done += Slice) {\n"
     "        const std::size_t part = std::min(Slice, length - done);\n"
     "        if (buffer_ != nullptr) {\n            std::memcpy(into", CORE_AND_ENGINE,
     (("formats_tests", "Kinds.*"), ("engine_tests", "*"))),
    (4, "formats/core/ByteFile.cpp", "    if (start < end) {", "    if (false) {", FORMATS,
     (("formats_tests", CORE),)),
    (5, "formats/core/XmlBytes.cpp", "        throwIfStopped();\n", "", CORE_AND_ENGINE,
     (("formats_tests", "Kinds.*"), ("engine_tests", "*"))),
    (6, "formats/core/Base64.cpp", "value == Invalid || padding != 0", "value == Invalid",
     FORMATS, (("formats_tests", CORE),)),
    (7, "formats/sound/TagSpan.cpp", "(footer ? Id3HeaderSize : 0)", "0", FORMATS,
     (("formats_tests", SOUND),)),
    (8, "formats/sound/TagSpan.cpp",
     "    if (audio.find(\"APETAGEX\") != std::string_view::npos) {\n        return true;",
     "    if (false) {\n        return true;", FORMATS, (("formats_tests", SOUND),)),
    (9, "formats/sound/Flac.cpp", "    if (!audio.empty() && !opensWithFrame(audio)) {",
     "    if (false) {", FORMATS, (("formats_tests", SOUND),)),
    (10, "formats/sound/Flac.cpp", "if (length != 0 && rest.size() > length &&",
     "if (length != 0 && rest.size() >= length &&", FORMATS, (("formats_tests", SOUND),)),
    (11, "formats/pictures/Psd.cpp", "std::min<std::ptrdiff_t>(8, region.end() - value)",
     "std::min<std::ptrdiff_t>(7, region.end() - value)", FORMATS, (("formats_tests", PSD),)),
    (12, "formats/pictures/Psd.cpp",
     "folders = character == '/' || character == '\\\\' ? unit + 1 : folders;",
     "folders = character == '/' ? unit + 1 : folders;", FORMATS, (("formats_tests", PSD),)),
    (13, "formats/pictures/Psd.cpp",
     "{\"fullPath\", \"relPath\", \"originalPath\", \"originalFileName\", \"fileReference\"})",
     "{\"fullPath\", \"originalPath\", \"originalFileName\", \"fileReference\"})", FORMATS,
     (("formats_tests", PSD),)),
    (14, "formats/pictures/Psd.cpp", "    for (int i = 0; i < 2; ++i) {",
     "    for (int i = 0; i < 1; ++i) {", FORMATS, (("formats_tests", PSD),)),
    (15, "formats/pictures/Psd.cpp", "    for (int name = 0; name < 2; ++name) {",
     "    for (int name = 0; name < 1; ++name) {", FORMATS, (("formats_tests", PSD),)),
    (16, "formats/video/SoundVideo.cpp", "{\"RF64\", \"BW64\"}, {\"id3 \", \"ID3 \"}};",
     "{\"RF64\", \"BW64\"}, {\"ID3 \"}};", FORMATS, (("formats_tests", SOUND),)),
    (17, "formats/video/SoundVideoCheck.cpp", "{\"id3 \", \"ID3 \"}};", "{\"ID3 \"}};",
     FORMATS, (("formats_tests", SOUND),)),
    (18, "formats/documents/Pdf.cpp", "{\"/Launch\", \"/GoToR\", \"/GoToE\", \"/ImportData\"};",
     "{\"/Launch\", \"/GoToR\", \"/ImportData\"};", PDF, (("engine_tests", "*:-Stopping.*"),)),
    (19, "formats/documents/Pdf.cpp", "                               kind.isNameAndEquals(\"/ImportData\") ||\n",
     "", PDF, (("engine_tests", "*:-Stopping.*"),)),
    (20, "formats/documents/Pdf.cpp", "        if (parameters.isString() &&",
     "        if (false && parameters.isString() &&", PDF, (("engine_tests", "*:-Stopping.*"),)),
    (21, "formats/documents/Pdf.cpp", " ||\n                                        hasFolder(windows.getKey(\"/P\"))",
     "", PDF, (("engine_tests", "*:-Stopping.*"),)),
    (22, "formats/office/CompoundFile.cpp",
     "        } else if (container && (type == SlideExternalObjects || type == SlideSounds)) {",
     "        } else if (container && type == SlideExternalObjects) {", FORMATS, (("formats_tests", OLD_OFFICE),)),
    (23, "formats/office/CompoundFile.cpp", "        if ((id & PropertyNumber) == PictureName) {",
     "        if (false) {", FORMATS, (("formats_tests", OLD_OFFICE),)),
    (24, "formats/office/CompoundFile.cpp", "    pointers.clear(SavingTimePair);\n", "",
     FORMATS, (("formats_tests", OLD_OFFICE),)),
    (25, "formats/office/CompoundFile.cpp",
     "            std::fill_n(table.begin() + at + CommentDateSize * i, 4, '\\0');",
     "            std::fill_n(table.begin() + at + CommentDateSize * i, 3, '\\0');", FORMATS,
     (("formats_tests", OLD_OFFICE),)),
    (26, "formats/office/CompoundFile.cpp", "            return scheme.size() >= 2 && scheme != \"file\";",
     "            return scheme.size() >= 2;", FORMATS, (("formats_tests", OLD_OFFICE),)),
    (27, "formats/office/OfficeDocument.cpp",
     "(isEmptiedPart(part) || isPropertiesRoot(reader.namespaceUri()))", "isEmptiedPart(part)",
     FORMATS, (("formats_tests", PACKAGES),)),
    (28, "engine/RemovalBatchJobs.cpp", "outcome = notCleaned({Cause::TooLarge,",
     "outcome = notCleaned({Cause::Internal,", ENGINE, (("engine_tests", "*"),)),
    (29, "engine/RemovalBatchJobs.cpp",
     "            stopping_ = stopping_ || outcome.failure.cause == Cause::DiskFull;\n", "",
     ENGINE, (("engine_tests", "*"),)),
    (30, "engine/RemovalBatchJobs.cpp",
     "    if (!results_[index] && progress_[index].watch.givenUp.load(std::memory_order_acquire)) {\n"
     "        return notCleaned",
     "    if (false) {\n        return notCleaned", ENGINE, (("engine_tests", "*"),)),
    (31, "formats/pictures/Psd.cpp",
     "               withoutTimesAndPaths(data.substr(typeAt + 8 + 8 + 1, end - typeAt - 8 - 8 - 1));",
     "               data.substr(typeAt + 8 + 8 + 1, end - typeAt - 8 - 8 - 1);", FORMATS,
     (("formats_tests", PSD),)),
    (32, "engine/PDF_Metadata.cpp", "const bool full = failure.cause == Formats::Cause::DiskFull;",
     "const bool full = false;", ENGINE, (("engine_tests", "*"),)),
    # The window's layout, beyond the sample: its test asserts what the window must show.
    (33, "app/Form1.cpp", "twipsRect(6960, 300, 600, 345).translated(wider, 0)",
     "twipsRect(6960, 300, 600, 345)", ("app_tests",), (("app_tests", "MainWindow.*"),)),
    (34, "app/Form1.cpp", "twipsRect(120, 5670, 7800, 405).adjusted(0, 0, wider, 0)",
     "twipsRect(120, 5670, 7800, 405).adjusted(0, 0, half, 0)", ("app_tests",),
     (("app_tests", "MainWindow.ControlsShowWholeInTheirOrder"),)),
]


def run(build, fault):
    number, name, text, faulty, targets, runs = fault
    path = ROOT / name
    source = path.read_text()
    if source.count(text) != 1:
        return "not planted: the text is not found once"
    path.write_text(source.replace(text, faulty))
    try:
        built = subprocess.run(["cmake", "--build", build, "--target", *targets],
                               capture_output=True, text=True)
        if built.returncode != 0:
            return "not built:\n" + built.stdout[-2000:]
        for program, cases in runs:
            try:
                tested = subprocess.run([f"{build}/tests/{program}", f"--gtest_filter={cases}"],
                                        capture_output=True, text=True, timeout=600,
                                        env={**os.environ, "QT_QPA_PLATFORM": "offscreen"})
            except subprocess.TimeoutExpired:
                return "caught (hangs)"
            failed = [line.split()[3].rstrip(",") for line in tested.stdout.splitlines()
                      if line.startswith("[  FAILED  ]") and "(" in line]
            if tested.returncode != 0:
                return "caught by " + " ".join(sorted(set(failed))[:4])
        return "missed"
    finally:
        path.write_text(source)


def main():
    build = sys.argv[1]
    chosen = {int(number) for number in sys.argv[2:]}
    targets = set()
    for fault in FAULTS:
        if not chosen or fault[0] in chosen:
            print(fault[0], fault[1], "->", run(build, fault), flush=True)
            targets.update(fault[4])
    # The programs built last hold the last fault: build them again from the sources as they are.
    subprocess.run(["cmake", "--build", build, "--target", *sorted(targets)], capture_output=True)


if __name__ == "__main__":
    main()
