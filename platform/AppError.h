#pragma once

#include <QString>

#include <exception>

// The error numbers the program reports, the same on every platform.
namespace ErrorNumber {
inline constexpr int InvalidArgument = 5;
inline constexpr int UserInterrupt = 18;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyExists = 58;
inline constexpr int DiskFull = 61;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int BufferTooSmall = 20476;
}  // namespace ErrorNumber

// The one exception type that platform calls and helpers throw; error traps catch it.
class AppError : public std::exception {
  public:
    AppError(int number, QString description);

    enum class Subject { File, Folder };

    // Maps a C errno value onto the program's error numbers; a missing folder is "path not found".
    static AppError fromErrno(int errnoValue, const QString &path, Subject subject = Subject::File);

    int number() const { return number_; }
    const QString &description() const { return description_; }
    const char *what() const noexcept override { return utf8_.constData(); }

  private:
    int number_;
    QString description_;
    QByteArray utf8_;
};
