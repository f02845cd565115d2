# The id that desktops and software centres know the program by: the file names of its desktop entry
# and AppStream listing, and the name the running program gives the desktop, which pairs its window
# with the entry. It stays the same from release to release: the maker's host turned round, then the
# program's name (refscope.corvane.example gives example.corvane.refscope). AppStream ids take no
# hyphens.
set(REFSCOPE_APP_ID "" CACHE STRING
    "Reverse-DNS id of the desktop entry and the AppStream listing; empty: made from REFSCOPE_WEB_SITE")
if(REFSCOPE_APP_ID STREQUAL "")
    string(TOLOWER "${REFSCOPE_WEB_SITE}" appHost)
    string(REGEX REPLACE "^www\\.|:[0-9]+$" "" appHost "${appHost}")
    string(REPLACE "-" "_" appHost "${appHost}")
    string(REPLACE "." ";" appIdParts "${appHost}")
    list(REVERSE appIdParts)
    list(GET appIdParts -1 appIdLast)
    if(NOT appIdLast STREQUAL "refscope")
        list(APPEND appIdParts refscope)
    endif()
    list(JOIN appIdParts "." REFSCOPE_APP_ID)
endif()
