// libmatio's functions, the library opened on first use: it brings HDF5 and
// with it network and crypto libraries, about 5 ms of loading at every start
// of a program that may never read or write a MAT-file (the CLI keeps its
// private work directory in memory). A library that cannot be opened is a
// host error naming it, raised where a MAT-file is needed.
#pragma once

#include <matio.h>

#include <cstddef>

namespace ulv::matio {

mat_t* open(const char* name, int mode);
mat_t* createVer(const char* name, const char* header, mat_ft version);
int close(mat_t* mat);
mat_ft getVersion(mat_t* mat);
char** getDir(mat_t* mat, std::size_t* count);
matvar_t* varRead(mat_t* mat, const char* name);
int varWrite(mat_t* mat, matvar_t* var, matio_compression compression);
matvar_t* varCreate(const char* name, matio_classes cls, matio_types type, int rank,
                    std::size_t* dims, void* data, int options);
void varFree(matvar_t* var);
std::size_t sizeOf(matio_types type);
int logInitFunc(const char* program, void (*log)(int level, char* message));

}  // namespace ulv::matio
