#include "platform/AppError.h"

#include <cerrno>
#include <cstring>

AppError::AppError(int number, QString description)
    : number_(number), description_(std::move(description)), utf8_(description_.toUtf8()) {}

AppError AppError::fromErrno(int errnoValue, const QString &path, Subject subject) {
    int number = ErrorNumber::PathFileAccess;
    QString description = QStringLiteral("Path/File access error");
    switch (errnoValue) {
        case ENOENT:
            if (subject == Subject::File) {
                number = ErrorNumber::FileNotFound;
                description = QStringLiteral("File not found");
                break;
            }
            [[fallthrough]];
        case ENOTDIR:
            number = ErrorNumber::PathNotFound;
            description = QStringLiteral("Path not found");
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            number = ErrorNumber::PermissionDenied;
            description = QStringLiteral("Permission denied");
            break;
        case ENOSPC:
        case EDQUOT:
            number = ErrorNumber::DiskFull;
            description = QStringLiteral("Disk full");
            break;
        case EEXIST:
            number = ErrorNumber::FileAlreadyExists;
            description = QStringLiteral("File already exists");
            break;
        case EINVAL:
        case ENAMETOOLONG:
            number = ErrorNumber::InvalidArgument;
            description = QStringLiteral("Invalid procedure call or argument");
            break;
        default:
            break;
    }
    return AppError(number,
                    QStringLiteral("%1: %2 (%3)")
                        .arg(description, path, QString::fromLocal8Bit(std::strerror(errnoValue))));
}
