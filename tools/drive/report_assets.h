// The page's script and style and the charting library's, built into the
// program from tools/report (the CMake build generates their definitions),
// so that report.html is whole wherever drive runs.
#pragma once

namespace drive {

extern const char ReportUplotJs[];
extern const char ReportUplotCss[];
extern const char ReportPageJs[];
extern const char ReportPageCss[];

}  // namespace drive
