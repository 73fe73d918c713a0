// A study's row as bytes, exactly (doubles bit for bit), for the messages
// between the processes of a study under MPI.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "studies/study_table.h"

std::string encode_study_row(const StudyRow& row);
// nullopt for bytes that are not one whole row.
std::optional<StudyRow> decode_study_row(std::string_view bytes);
