# Sourced by the pre-commit framework tests: skips where git, pre-commit or
# $check is missing, then makes an offline scratch home with tagfmt-check on
# PATH and the hooks in a repository of their own at $hooks, as a user's
# pre-commit fetches them. Needs $check and $src; sets $scratch and $log.
# shellcheck shell=bash
: "${check:?}" "${src:?}"
skip() { echo "SKIP: $*"; exit 77; }
command -v git >/dev/null || skip "git is not installed (apt-get install git)"
command -v pre-commit >/dev/null ||
  skip "pre-commit is not installed (apt-get install pre-commit)"
[ -x "$check" ] || skip "no tagfmt-check binary at $check (build it first)"

scratch=$(mktemp -d)
log=$scratch/log
fail() { echo "FAIL: $*"; [ -f "$log" ] && sed 's/^/  | /' "$log"; exit 1; }
trap 'rm -rf "$scratch"' EXIT
# No user settings, no network, no cache outside the scratch folder.
export HOME=$scratch/home PRE_COMMIT_HOME=$scratch/cache
export GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1
export GIT_AUTHOR_NAME=tester GIT_AUTHOR_EMAIL=tester@example.invalid
export GIT_COMMITTER_NAME=tester GIT_COMMITTER_EMAIL=tester@example.invalid
mkdir -p "$HOME" "$scratch/bin"
ln -s "$check" "$scratch/bin/tagfmt-check"
export PATH=$scratch/bin:$PATH

hooks=$scratch/hooks
mkdir -p "$hooks"
cp "$src/.pre-commit-hooks.yaml" "$hooks/"
git -C "$hooks" init -q
git -C "$hooks" add -A
git -C "$hooks" commit -q -m hooks
