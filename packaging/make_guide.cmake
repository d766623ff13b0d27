# Turns the README into the installed user guide: cmark's HTML inside a page of its own, with the
# screenshot beside it under the same relative path the README uses.
execute_process(COMMAND ${CMARK} --to html ${README} OUTPUT_VARIABLE body RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmark failed on ${README}")
endif()
file(WRITE ${OUT_DIR}/guide.html
"<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>Quillorex Programmer - User Guide</title>
<style>
body { max-width: 60em; margin: 2em auto; padding: 0 1em; font-family: sans-serif; line-height: 1.45; }
pre, code { font-family: monospace; background: rgba(127,127,127,0.12); }
pre { padding: 0.6em; overflow-x: auto; }
img { max-width: 100%; }
</style>
</head>
<body>
${body}</body>
</html>
")
file(COPY ${SCREENSHOT} DESTINATION ${OUT_DIR}/docs)
