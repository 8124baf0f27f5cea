#pragma once

#include <ctime>
#include <string>

// The date and time of a deletion record in the given LC_TIME locale: its date format, a blank
// and its time format; the date alone at exactly midnight. An empty name means the locale the
// user's environment selects; a locale that is not available gives the C locale's formats.
std::string FormatDeletionTime(const std::tm& local, const std::string& localeName = "");

// "[Message has been deleted at " + the local date and time of when + "]".
std::string DeletionStamp(std::time_t when);
