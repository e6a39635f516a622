// The parameter-string module in one include: records, lexer and grammar
// machine, binding, writer, growable text and the C-locale scope.
#pragma once

#include "ami_tree/c_locale.h"
#include "ami_tree/lexer.h"
#include "ami_tree/param_tree.h"
#include "ami_tree/parser.h"
#include "ami_tree/text_buffer.h"
#include "ami_tree/writer.h"
