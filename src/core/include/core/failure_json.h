#pragma once

// A Failure as one line of JSON, for a child process to tell the program that started it what
// went wrong: the kind by its name (never its number), the detail in the child's words.

#include "core/result.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>

QJsonObject failureToJson(const Failure &failure);
// Nothing for an object that names no kind this program knows.
std::optional<Failure> failureFromJson(const QJsonObject &object);

// Set in a child's environment, it makes the command line add its failure as one line of
// standard error: this prefix, then the JSON object.
inline constexpr char FailureJsonVariable[] = "TESMORA_FAILURE_JSON";
inline constexpr char FailureJsonPrefix[] = "failure-json ";
