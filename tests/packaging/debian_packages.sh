# Shared by the packaging checks: which installed Debian package owns a file, and which packages
# a set of packages pulls in. Source it; it defines functions only.

# owners_of < paths  ->  "path<TAB>packages" per input line: every package that lists the path
# (folders are shared), empty when none does.
# A path is tried as written, normalised, with symlinks resolved, and under both spellings that a
# merged /usr allows (/lib/x.so is /usr/lib/x.so), since dpkg records whichever the package shipped.
owners_of() {
  local paths normal real
  paths="$(cat)"
  [ -n "$paths" ] || return 0
  normal="$(printf '%s\n' "$paths" | xargs -d '\n' realpath -ms --)"
  real="$(printf '%s\n' "$paths" | xargs -d '\n' realpath -m --)"
  awk -F'\t' '
    function key(p) { return p ~ /^\/usr\/(lib|lib64|bin|sbin)\// ? substr(p, 5) : p }
    FNR == 1 && file < 4 { file++ }
    file == 1 { normal[FNR] = $0; next }
    file == 2 { real[FNR] = $0; next }
    file == 3 { query[++count] = $0; next }
    FILENAME != list {
      list = FILENAME; n = split(list, parts, "/"); pkg = parts[n]
      sub(/\.list$/, "", pkg); sub(/:.*/, "", pkg)
    }
    { k = key($0); owner[k] = owner[k] (owner[k] == "" ? "" : " ") pkg }
    END {
      for (i = 1; i <= count; i++) {
        p = owner[key(query[i])]
        if (p == "") p = owner[key(normal[i])]
        if (p == "") p = owner[key(real[i])]
        print query[i] "\t" p
      }
    }' <(printf '%s\n' "$normal") <(printf '%s\n' "$real") <(printf '%s\n' "$paths") /var/lib/dpkg/info/*.list
}

# group_packages DEPS_FILE GROUP...  ->  the packages listed for those groups, one per line.
group_packages() {
  local file="$1"; shift
  awk -v groups=" $* " '$1 !~ /^#/ && NF >= 2 && index(groups, " " $1 " ") { print $2 }' "$file"
}

# closure PACKAGE...  ->  the packages and everything they depend on, installed ones only.
closure() {
  [ $# -gt 0 ] || return 0
  { printf '%s\n' "$@"
    apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts \
      --no-breaks --no-replaces --no-enhances "$@" 2>/dev/null | grep -v '^ ' | grep -v '^<'
  } | sed 's/:.*//' | sort -u
}
