# Shipping tagfmt: install rules, the Debian package (CPack) and the tests
# of what ships: the manual page, the install tree, the package, the git
# hook, the pre-commit and vim integrations, Neovim and Emacs with the
# language server, the Windows build and the
# playground page. Included at the end of CMakeLists.txt.
include(GNUInstallDirs)

install(TARGETS tagfmt tagfmt-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(TARGETS tagfmt-lsp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(WIN32)
  install(FILES tagfmt.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  # Debian ships manual pages and changelogs gzipped at the highest level,
  # without a time stamp inside (-n), so that builds are reproducible.
  set(TAGFMT_GZIPPED)
  foreach(pair IN ITEMS "tagfmt.1;tagfmt.1.gz" "tagfmt-check.1;tagfmt-check.1.gz"
                        "tagfmt-lsp.1;tagfmt-lsp.1.gz"
                        "packaging/changelog;changelog.gz")
    list(GET pair 0 source)
    list(GET pair 1 output)
    add_custom_command(
      OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${output}
      COMMAND sh -c "gzip -9nc \"$1\" >\"$2\"" gzip
              ${CMAKE_CURRENT_SOURCE_DIR}/${source}
              ${CMAKE_CURRENT_BINARY_DIR}/${output}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${source}
      VERBATIM)
    list(APPEND TAGFMT_GZIPPED ${CMAKE_CURRENT_BINARY_DIR}/${output})
  endforeach()
  add_custom_target(tagfmt_gzipped_docs ALL DEPENDS ${TAGFMT_GZIPPED})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tagfmt.1.gz
                ${CMAKE_CURRENT_BINARY_DIR}/tagfmt-check.1.gz
                ${CMAKE_CURRENT_BINARY_DIR}/tagfmt-lsp.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
                ${CMAKE_CURRENT_SOURCE_DIR}/packaging/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(PROGRAMS contrib/pre-commit
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tagfmt/git-hooks)
# Where Debian's vim looks by default (with the /usr prefix of the package).
install(DIRECTORY contrib/vim/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vim/vimfiles)
# Where Neovim and Emacs look by default: the site folder of each, which
# their runtime path and load-path hold.
install(DIRECTORY contrib/nvim/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/nvim/site)
install(FILES contrib/emacs/tagfmt-lsp.el
        DESTINATION ${CMAKE_INSTALL_DATADIR}/emacs/site-lisp)

if(NOT WIN32)
  # The version comes from project(); nothing else names it.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tagfmt)
  set(CPACK_PACKAGE_VENDOR "tagfmt maintainers")
  set(CPACK_PACKAGE_CONTACT
      "tagfmt maintainers <maintainers@users.noreply.c-seed-1e63fc94.example>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "re-indent HTML pages and XSL stylesheets in place")
  # CPack puts the summary first and indents these lines for the control
  # file.
  set(CPACK_PACKAGE_DESCRIPTION
      "tagfmt re-indents hand-written HTML pages and XSL stylesheets by a fixed
table of tag rules, writes or strips pair-marker comments, checks that the
recognised tags nest, and writes CR LF line ends. It rewrites a file only
when it changed and nests soundly, and keeps the old bytes in a .bak
backup. tagfmt-check says what tagfmt would do, for CI jobs, editors and
commit hooks, and with --fix does it. tagfmt-lsp brings both to any
editor that speaks the Language Server Protocol; files for vim, Neovim and
Emacs come with the package.")
  set(CPACK_DEBIAN_PACKAGE_SECTION text)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tagfmt_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends: from dpkg-shlibdeps
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
endif()

if(TAGFMT_TESTS)
  target_sources(tagfmt_tests PRIVATE tests/man_page_test.cc
                                      tests/doc_examples_test.cc
                                      tests/docs_test.cc)
  add_dependencies(tagfmt_tests tagfmt-lsp)
endif()

# The artefacts are tested once, from the plain build; the sanitizer build
# runs the same tool code through the tests above.
if(TAGFMT_TESTS AND NOT TAGFMT_SANITIZE AND NOT WIN32)
  set(TAGFMT_WINDOWS_EXE ${CMAKE_SOURCE_DIR}/build-windows/tagfmt.exe
      CACHE FILEPATH "tagfmt.exe for the Windows tests (make windows)")
  set(shipping ${CMAKE_SOURCE_DIR}/tests/shipping)
  add_test(NAME Shipping.ManPageLint
           COMMAND ${shipping}/man_page_lint.sh ${CMAKE_SOURCE_DIR}/tagfmt.1)
  add_test(NAME Shipping.CheckManPageLint
           COMMAND ${shipping}/man_page_lint.sh ${CMAKE_SOURCE_DIR}/tagfmt-check.1)
  add_test(NAME Shipping.LspManPageLint
           COMMAND ${shipping}/man_page_lint.sh ${CMAKE_SOURCE_DIR}/tagfmt-lsp.1)
  add_test(NAME Shipping.Neovim
           COMMAND ${shipping}/nvim.sh $<TARGET_FILE:tagfmt-lsp>
                   $<TARGET_FILE:tagfmt> ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.EmacsEglot
           COMMAND ${shipping}/emacs.sh $<TARGET_FILE:tagfmt-lsp>
                   $<TARGET_FILE:tagfmt> ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.Install
           COMMAND ${shipping}/install.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.DebianPackage
           COMMAND ${shipping}/package.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}
                   ${PROJECT_VERSION})
  add_test(NAME Shipping.PreCommitHook
           COMMAND ${shipping}/pre_commit.sh $<TARGET_FILE:tagfmt>
                   ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.PreCommitFramework
           COMMAND ${shipping}/pre_commit_framework.sh
                   $<TARGET_FILE:tagfmt-check> $<TARGET_FILE:tagfmt>
                   ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.PreCommitExcludes
           COMMAND ${shipping}/pre_commit_exclude.sh
                   $<TARGET_FILE:tagfmt-check> ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.CiSnippet
           COMMAND ${shipping}/ci_snippet.sh $<TARGET_FILE:tagfmt-check>
                   ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.Vim
           COMMAND ${shipping}/vim.sh $<TARGET_FILE:tagfmt-check>
                   $<TARGET_FILE:tagfmt> ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.JsonSchema
           COMMAND ${shipping}/json_schema.sh $<TARGET_FILE:tagfmt-check>
                   ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.WindowsExe
           COMMAND ${shipping}/windows.sh ${TAGFMT_WINDOWS_EXE}
                   $<TARGET_FILE:tagfmt_tests> $<TARGET_FILE:tagfmt>
                   ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  add_test(NAME Shipping.WindowsCheckExe
           COMMAND ${shipping}/windows_check.sh
                   ${CMAKE_SOURCE_DIR}/build-windows/tagfmt-check.exe
                   $<TARGET_FILE:tagfmt-check> ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR})
  add_test(NAME Shipping.WindowsLspExe
           COMMAND ${shipping}/windows_lsp.sh
                   ${CMAKE_SOURCE_DIR}/build-windows/lsp/tagfmt-lsp.exe
                   $<TARGET_FILE:tagfmt-lsp> ${CMAKE_BINARY_DIR})
  add_test(NAME Shipping.Playground
           COMMAND ${shipping}/playground.sh ${CMAKE_SOURCE_DIR}
                   $<TARGET_FILE:tagfmt> $<TARGET_FILE:tagfmt-check>
                   ${CMAKE_BINARY_DIR})
  # 77: a tool the test needs is missing. The test says which, and so does
  # this check, since ctest shows no output of a skipped test.
  find_program(TAGFMT_MAN_LINTER NAMES mandoc groff)
  find_program(TAGFMT_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(TAGFMT_GIT git)
  find_program(TAGFMT_PRE_COMMIT pre-commit)
  find_program(TAGFMT_VIM vim)
  find_program(TAGFMT_NVIM nvim)
  find_program(TAGFMT_EMACS emacs)
  find_program(TAGFMT_EMXX em++)
  find_program(TAGFMT_CHROMIUM chromium)
  foreach(missing IN ITEMS "TAGFMT_MAN_LINTER;Shipping.ManPageLint;mandoc"
                           "TAGFMT_MAN_LINTER;Shipping.CheckManPageLint;mandoc"
                           "TAGFMT_DPKG_SHLIBDEPS;Shipping.DebianPackage;dpkg-dev"
                           "TAGFMT_GIT;Shipping.PreCommitHook;git"
                           "TAGFMT_PRE_COMMIT;Shipping.PreCommitFramework;pre-commit"
                           "TAGFMT_PRE_COMMIT;Shipping.PreCommitExcludes;pre-commit"
                           "TAGFMT_VIM;Shipping.Vim;vim"
                           "TAGFMT_NVIM;Shipping.Neovim;neovim"
                           "TAGFMT_EMACS;Shipping.EmacsEglot;emacs-nox"
                           "TAGFMT_MAN_LINTER;Shipping.LspManPageLint;mandoc"
                           "TAGFMT_EMXX;Shipping.Playground;emscripten"
                           "TAGFMT_CHROMIUM;Shipping.Playground;chromium")
    list(GET missing 0 program)
    if(NOT ${program})
      list(GET missing 1 test)
      list(GET missing 2 package)
      message(STATUS "${test} will be skipped: apt-get install ${package}")
    endif()
  endforeach()
  execute_process(COMMAND /usr/bin/python3 -c "import jsonschema"
                  RESULT_VARIABLE TAGFMT_NO_JSONSCHEMA OUTPUT_QUIET ERROR_QUIET)
  if(TAGFMT_NO_JSONSCHEMA)
    message(STATUS "Shipping.JsonSchema will be skipped: apt-get install python3-jsonschema")
  endif()
  set_tests_properties(Shipping.ManPageLint Shipping.CheckManPageLint
                       Shipping.LspManPageLint Shipping.Neovim
                       Shipping.EmacsEglot
                       Shipping.Install
                       Shipping.DebianPackage Shipping.PreCommitHook
                       Shipping.CiSnippet
                       Shipping.PreCommitFramework
                       Shipping.PreCommitExcludes Shipping.Vim
                       Shipping.JsonSchema
                       Shipping.WindowsExe Shipping.WindowsCheckExe
                       Shipping.WindowsLspExe Shipping.Playground
                       PROPERTIES SKIP_RETURN_CODE 77)
  set_tests_properties(Shipping.Playground PROPERTIES TIMEOUT 600)
  # One wine prefix and server, which each of them stops when it ends.
  set_tests_properties(Shipping.WindowsExe Shipping.WindowsCheckExe
                       Shipping.WindowsLspExe PROPERTIES RESOURCE_LOCK wine)
endif()
