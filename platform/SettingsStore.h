#pragma once

#include <QString>

// The per-user store of named text values: "Tarnwick" / "Parchwipe" / entry. On Linux
// ~/.config/Tarnwick/Parchwipe.conf, on Windows the registry.
class SettingsStore {
  public:
    // The stored value, even when empty; the default only for an absent entry.
    QString read(const QString &entry, const QString &defaultValue) const;

    // In the store when the call returns; throws AppError when the store refuses it.
    void write(const QString &entry, const QString &value);
};
