// The numbers given to the fringe tool's options, each checked against its
// domain (settings/value_domains.h, shared with the Python module), with
// messages that name the option:
//   --max-noise: -3 is outside 0..255
//   --max-noise: 2.5 is not a whole number
//   --noise: "abc" is not a number
// The argument parser checks them with option_domain(); the subcommands'
// functions, which tests and other callers call without the parser, check
// the same domains with require_in_domain().
#pragma once

#include <string>

#include "settings/method_settings.h"
#include "settings/value_domains.h"

namespace CLI {
class App;
class Validator;
}

// A validator for an option of the parser: the problem above, which the
// parser prefixes with the option's name ("--noise: ..."). A text that passes
// is handed on as the plain text of its value ("+64" and " 64" give "64"):
// digits for a whole number, the shortest text that reads back otherwise.
CLI::Validator option_domain(const NumberDomain& domain);

// The method options of a run (--method, --steps, --periods; with `errors`
// also the error sources --gamma, --blur, --bits, --ambient) into `overrides`,
// which apply_method_overrides checks over the channel's method file: simulate,
// measure, scan and study take the same words.
void add_method_options(CLI::App* app, MethodOverrides& overrides, bool errors);
