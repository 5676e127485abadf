#pragma once

#include <string>

// A JPEG marker segment: marker, length and payload.
std::string jpegSegment(int marker, const std::string &payload);

// Where spliced() puts bytes into a JPEG whose first segment is its JFIF header.
enum class Place { AfterSoi, AfterJfif, InsteadOfJfif, BeforeFirstScan, BetweenScans, AfterEoi };

std::string spliced(std::string jpeg, Place place, const std::string &bytes);
