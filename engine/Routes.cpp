#include "engine/Routes.h"

#include "engine/FailureReason.h"
#include "engine/JpegRoute.h"
#include "engine/Metadata.h"
#include "engine/PDF_Metadata.h"
#include "engine/WorkingCopy.h"
#include "formats/core/Limits.h"

#include <cstring>

namespace Routes {

namespace {

using Removal = StepResult (*)(RouteContext &context, const QString &copy);

StepResult removePdfInformation(RouteContext &context, const QString &copy) {
    return PDF_Metadata::RemovePDFMetadata(context.desktop, context.programFolder,
                                           context.workingFolder, copy, context.keepGoing);
}

// Kinds whose listed files go through external tools first rather than the kind's own pass.
Removal toolRemovalOf(const Kinds::Kind &kind) {
    static const struct {
        const char *kind;
        Removal removal;
    } withTools[] = {
        {"JPEG picture", JpegRoute::removeMetadata},
        {"PDF document", removePdfInformation},
    };
    for (const auto &entry : withTools) {
        if (std::strcmp(entry.kind, kind.name) == 0) {
            return entry.removal;
        }
    }
    return nullptr;
}

}  // namespace

const Kinds::Kind *kindOf(const QString &name, const QString &extension, const QString &copy) {
    if (const Kinds::Kind *named = Kinds::forName(name.toStdString())) {
        return named;
    }
    Formats::ByteFile file(WorkingCopy::nativePath(copy), Formats::ByteFile::Mode::Read);
    const Formats::Bytes start = file.readUpTo(0, Formats::Limits::RecognitionWindow);
    const Kinds::Kind *byContent = Kinds::forContent(start);
    if (byContent != nullptr && byContent->isMetadata) {
        return byContent;
    }
    const Kinds::Kind *byExtension = Kinds::forExtension(extension.toStdString());
    return byExtension != nullptr ? byExtension : byContent;
}

qint64 memoryCost(const QString &name, const QString &extension, const QString &file) {
    try {
        const Kinds::Kind *kind = kindOf(name, extension, file);
        Formats::ByteFile source(WorkingCopy::nativePath(file), Formats::ByteFile::Mode::Read);
        return static_cast<qint64>(Kinds::memoryCost(kind, source));
    } catch (const Formats::Refused &) {
        return 0;
    }
}

StepResult remove(const Kinds::Kind *kind, RouteContext &context, const QString &copy) {
    if (kind == nullptr || kind->clean == nullptr) {
        return Metadata::StripFile(context.desktop, copy, context.keepGoing);
    }
    try {
        if (const Removal removal = toolRemovalOf(*kind)) {
            return removal(context, copy);
        }
        Formats::ByteFile file(WorkingCopy::nativePath(copy), Formats::ByteFile::Mode::ReadWrite);
        kind->clean(file, 0);
        return std::nullopt;
    } catch (const Formats::Refused &refused) {
        return FailureReason::ForRefusal(refused);
    }
}

StepResult check(const Kinds::Kind *kind, const QString &copy) {
    if (kind == nullptr || kind->check == nullptr) {
        return std::nullopt;
    }
    try {
        Formats::ByteFile result(WorkingCopy::nativePath(copy), Formats::ByteFile::Mode::Read);
        const std::string remains = kind->check(result, 0).reason();
        if (remains.empty()) {
            return std::nullopt;
        }
        return Failure{Formats::Cause::Internal, QString::fromStdString(remains)};
    } catch (const Formats::Refused &refused) {
        return FailureReason::ForRefusal(refused);
    }
}

Formats::Findings findings(const Kinds::Kind *kind, const QString &file) {
    if (kind == nullptr || kind->check == nullptr) {
        return {};
    }
    try {
        Formats::ByteFile source(WorkingCopy::nativePath(file), Formats::ByteFile::Mode::Read);
        return kind->check(source, 0);
    } catch (const Formats::Refused &) {
        return {};  // damage, not metadata
    }
}

}  // namespace Routes
