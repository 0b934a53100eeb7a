#include "report/Stylesheet.h"

#include "report/PageWriter.h"

namespace morrowlen::report {

// Selector line and declaration line of each rule, in page order.
const std::array<StyleRule, 83> StyleRules = {{
    {"<STYLE type=text/css>BODY {", "    PADDING-RIGHT: 0px; PADDING-LEFT: 0px; PADDING-BOTTOM: 0px; FONT: "
                                    "9pt Verdana,Arial,Helvetica; COLOR: #ffffff; PADDING-TOP: 0px"},
    {"TABLE {", "    FONT: 9pt Verdana,Arial,Helvetica; COLOR: #ffffff"},
    {"TD {", "    FONT: 9pt Verdana,Arial,Helvetica; COLOR: #ffffff"},
    {"A {", "    COLOR: #cccccc; TEXT-DECORATION: none"},
    {"A:hover {", "    Text -DECORATION: Underline"},
    {".text_normal {", "    FONT-SIZE: 9pt"},
    {".text_small {", "    FONT-SIZE: 8pt"},
    {".text_smallest {", "    FONT-SIZE: 7pt"},
    {".main_table {", "    WIDTH: 100%; BACKGROUND-COLOR: #092640"},
    {".table_bg {", "    BACKGROUND-COLOR: #092640"},
    {".mod_unread {", "    BACKGROUND-COLOR: #4d7ab0! important"},
    {".descbar {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-SIZE: 8pt; PADDING-BOTTOM: 3px; COLOR: "
                   "#ffffff; PADDING-TOP: 3px; BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #0c3355"},
    {".descbar_text {", "    FONT-SIZE: 8pt; COLOR: #ffffff"},
    {".headingbar {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-WEIGHT: bold; FONT-SIZE: 8pt; "
                      "PADDING-BOTTOM: 3px; COLOR: #ffffff; PADDING-TOP: 3px; BACKGROUND-COLOR: #114879"},
    {".headingbar_text {", "    FONT-WEIGHT: bold; FONT-SIZE: 8pt; COLOR: #ffffff"},
    {".navbar {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-WEIGHT: bold; FONT-SIZE: 8pt; "
                  "PADDING-BOTTOM: 3px; COLOR: #0d1826; PADDING-TOP: 3px; BACKGROUND-COLOR: #d4e1f1"},
    {".navbar_sep {", "    FONT-WEIGHT: bold; FONT-SIZE: 8pt; COLOR: #333333"},
    {".navbar_text {", "    FONT-WEIGHT: bold; FONT-SIZE: 8pt; COLOR: #0d1826"},
    {".navbar_link {", "    FONT-WEIGHT: bold; FONT-SIZE: 8pt; COLOR: #333333"},
    {".titlebar {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-WEIGHT: bold; FONT-SIZE: 12pt; "
                    "PADDING-BOTTOM: 4px; COLOR: #ffffff; PADDING-TOP: 4px; BACKGROUND-COLOR: #0c3355"},
    {".titlebar_text {", "    FONT-WEIGHT: bold; FONT-SIZE: 12pt; COLOR: #ffffff"},
    {".userbar {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-SIZE: 8pt; PADDING-BOTTOM: 3px; COLOR: "
                   "#ffffff; PADDING-TOP: 3px; BACKGROUND-COLOR: #597fa1"},
    {".userbar_text {", "    FONT-SIZE: 8pt; COLOR: #ffffff"},
    {".searchbar {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-SIZE: 8pt; PADDING-BOTTOM: 3px; COLOR: "
                     "#ffffff; PADDING-TOP: 3px; BACKGROUND-COLOR: #0c3355"},
    {".searchbar_text {", "    FONT-SIZE: 8pt; COLOR: #ffffff; TEXT-DECORATION: underline"},
    {".subjectbar {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-WEIGHT: bold; FONT-SIZE: 11pt; "
                      "PADDING-BOTTOM: 3px; COLOR: #ffffff; PADDING-TOP: 3px; BACKGROUND-COLOR: #597fa1"},
    {".subjectbar_text {", "    FONT-WEIGHT: bold; FONT-SIZE: 11pt; COLOR: #ffffff"},
    {".tabbar {", "    PADDING-RIGHT: 0px; PADDING-LEFT: 0px; FONT-SIZE: 8pt; PADDING-BOTTOM: 0px; COLOR: "
                  "#000000; PADDING-TOP: 3px; BACKGROUND-COLOR: #dddddd"},
    {".tabbar_text {", "    FONT-SIZE: 8pt; COLOR: #000000"},
    {".linear_paging_text {", "    COLOR: #000000; BACKGROUND-COLOR: #ffffff"},
    {".linear_paging_text A {", "    COLOR: #000000; BACKGROUND-COLOR: #ffffff"},
    {".menubar_standalone {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; PADDING-BOTTOM: 3px; FONT: 12px "
                              "Arial; COLOR: #ffffff; PADDING-TOP: 3px; BACKGROUND-COLOR: #87795c"},
    {".menubar {", "    BACKGROUND-COLOR: #87795c"},
    {".menubar_normal {", "    BACKGROUND-COLOR: #87795c"},
    {".menubar_highlight {", "    BACKGROUND-COLOR: #aaaaaa"},
    {".menubar_selected {", "    BACKGROUND-COLOR: #505050"},
    {".menubar_shadow {", "    BACKGROUND-COLOR: #333333"},
    {".menubar_text {", "    FONT: 12px Arial; VERTICAL-ALIGN: middle; COLOR: #ffffff"},
    {".menubar_text_dis {", "    FONT: 12px Arial; VERTICAL-ALIGN: middle; COLOR: #cccccc"},
    {".clickable {", "CURSOR:     hand"},
    {".disabled {", "    CURSOR: not-allowed"},
    {".dropdown_menu {", "POSITION:     absolute"},
    {".cell_1 {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; PADDING-BOTTOM: 8px; PADDING-TOP: 8px; "
                  "BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #000000"},
    {".cell_2 {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; PADDING-BOTTOM: 8px; PADDING-TOP: 8px; "
                  "BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #000000"},
    {".cell_hi {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; PADDING-BOTTOM: 8px; PADDING-TOP: 8px; "
                   "BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #4d7ab0"},
    {".cell_hi2 {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; PADDING-BOTTOM: 8px; PADDING-TOP: 8px; "
                    "BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #4d7ab0"},
    {".cell_sel {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; PADDING-BOTTOM: 8px; PADDING-TOP: 8px; "
                    "BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #4d7ab0"},
    {".cell_small_1 {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-SIZE: 8pt; PADDING-BOTTOM: 8px; "
                        "PADDING-TOP: 8px; BACKGROUND-COLOR: #000000"},
    {".cell_small_2 {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-SIZE: 8pt; PADDING-BOTTOM: 8px; "
                        "PADDING-TOP: 8px; BACKGROUND-COLOR: #000000"},
    {".cell_small_hi {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-SIZE: 8pt; PADDING-BOTTOM: 8px; "
                         "PADDING-TOP: 8px; BACKGROUND-COLOR: #4d7ab0"},
    {".cell_small_hi2 {", "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-SIZE: 8pt; PADDING-BOTTOM: 8px; "
                          "PADDING-TOP: 8px; BACKGROUND-COLOR: #4d7ab0"},
    {".cell_tiny {",
     "    PADDING-RIGHT: 5px; PADDING-LEFT: 5px; FONT-SIZE: 7pt; PADDING-BOTTOM: 3px; PADDING-TOP: 3px"},
    {".admin_page {", "    PADDING-RIGHT: 10px; PADDING-LEFT: 10px; PADDING-BOTTOM: 10px; PADDING-TOP: 10px; "
                      "BACKGROUND-COLOR: #0c3355"},
    {".info_box {",
     "    BORDER-RIGHT: #092640 1px solid; PADDING-RIGHT: 10px; BORDER-TOP: #092640 1px solid; PADDING-LEFT: "
     "10px; PADDING-BOTTOM: 10px; BORDER-LEFT: #092640 1px solid; PADDING-TOP: 10px; BORDER-BOTTOM: #092640 "
     "1px solid; BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #000000"},
    {".cell {", "    PADDING-RIGHT: 10px; PADDING-LEFT: 10px; PADDING-BOTTOM: 10px; PADDING-TOP: 10px; "
                "BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #000000"},
    {".heading1 {", "    FONT-WEIGHT: bold; FONT-SIZE: 11pt; MARGIN-BOTTOM: 5px"},
    {".heading2 {", "    FONT-WEIGHT: bold; FONT-SIZE: 10pt; MARGIN-BOTTOM: 5px"},
    {".heading3 {", "    FONT-WEIGHT: bold; FONT-SIZE: 9pt; MARGIN-BOTTOM: 5px"},
    {".title_huge {", "    FONT-WEIGHT: bold; FONT-SIZE: 18px; MARGIN-BOTTOM: 5px; COLOR: #cccccc; "
                      "FONT-FAMILY: Tahoma, Arial, Helvetica; TEXT-DECORATION: none"},
    {".title_big {", "    FONT-WEIGHT: bold; FONT-SIZE: 10pt; MARGIN-BOTTOM: 5px"},
    {".title {", "    FONT-WEIGHT: bold; FONT-SIZE: 9pt; MARGIN-BOTTOM: 5px"},
    {".title_small {", "    MARGIN-BOTTOM: 5px"},
    {".link {", "    FONT-WEIGHT: bold; TEXT-DECORATION: underline"},
    {".input {", "    BORDER-RIGHT: #000000 thin solid; BORDER-TOP: #000000 thin solid; FONT: 8pt "
                 "Geneva,Arial,sans-serif; BORDER-LEFT: #000000 thin solid; COLOR: #000000; BORDER-BOTTOM: "
                 "#000000 thin solid; BACKGROUND-COLOR: #ffffff"},
    {".input_error {", "    BORDER-RIGHT: #990000 thin solid; BORDER-TOP: #990000 thin solid; FONT: 8pt "
                       "Geneva,Arial,sans-serif; BORDER-LEFT: #990000 thin solid; COLOR: #000000; "
                       "BORDER-BOTTOM: #990000 thin solid; BACKGROUND-COLOR: #ffffff"},
    {".choicebox {", ""},
    {".choicebox_error {", "    BORDER-RIGHT: #990000 thin solid; BORDER-TOP: #990000 thin solid; "
                           "BORDER-LEFT: #990000 thin solid; BORDER-BOTTOM: #990000 thin solid"},
    {".button {",
     "    BORDER-RIGHT: #000000 thin solid; PADDING-RIGHT: 10px; BORDER-TOP: #000000 thin solid; "
     "PADDING-LEFT: 10px; MARGIN: 2px; FONT: bold 9pt Geneva,Arial,sans-serif; BORDER-LEFT: #000000 thin "
     "solid; CURSOR: hand; COLOR: #000000; BORDER-BOTTOM: #000000 thin solid; BACKGROUND-COLOR: #aaaaaa"},
    {".help_text {", "    MARGIN-TOP: 5px; FONT-SIZE: 7pt; MARGIN-BOTTOM: 5px"},
    {".error_text {",
     "    MARGIN-TOP: 5px; FONT-WEIGHT: bold; FONT-SIZE: 8pt; MARGIN-BOTTOM: 5px; COLOR: #990000"},
    {".msg_user_cell {", "    PADDING-RIGHT: 10px; PADDING-LEFT: 10px; PADDING-BOTTOM: 10px; PADDING-TOP: "
                         "10px; BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #000000"},
    {".msg_date_cell {", "    PADDING-RIGHT: 10px; PADDING-LEFT: 10px; PADDING-BOTTOM: 15px; PADDING-TOP: "
                         "5px; BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #000000"},
    {".msg_text_cell {", "    PADDING-RIGHT: 10px; PADDING-LEFT: 10px; FONT-SIZE: 9pt; PADDING-BOTTOM: 15px; "
                         "PADDING-TOP: 15px; BACKGROUND-REPEAT: repeat-x; BACKGROUND-COLOR: #000000"},
    {".msg_text_cell A {", "    Text -DECORATION: Underline"},
    {".msg_rating_cell {", "    PADDING-RIGHT: 10px; PADDING-LEFT: 10px; FONT-SIZE: 9pt; PADDING-BOTTOM: "
                           "12px; PADDING-TOP: 5px; BACKGROUND-COLOR: #000000; TEXT-ALIGN: right"},
    {".subj_read {", "    FONT-SIZE: 9pt; COLOR: #476c8e"},
    {".subj_unread {", "    FONT-WEIGHT: bold; FONT-SIZE: 9pt; COLOR: #ccecfd"},
    {".date_text {", "    COLOR: #4d7ab0"},
    {".time_text {", "    COLOR: #4d7ab0"},
    {".count_text {", "    COLOR: #ffffff"},
    {".count_new_text {", "    COLOR: #4d7ab0"},
    {".auth_text {", "    FONT-SIZE: 9pt; COLOR: #ffffff"},
    {".list_text {", "    FONT-WEIGHT: bold; FONT-SIZE: 10pt; COLOR: #ccecfd"},
}};

} // namespace morrowlen::report
namespace morrowlen::report {

void writeStylesheet(LineWriter& out) {
    for (const StyleRule& rule : StyleRules) {
        out.writeLine(rule.selector);
        out.writeLine(rule.declaration);
        out.writeLine("}");
    }
}

} // namespace morrowlen::report
