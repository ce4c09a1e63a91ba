# shellcheck shell=bash
# A local nginx for tests and benchmarks, run in the foreground from a prefix of its own (its
# pid, logs and temporary folders there, nothing under /var or /etc), so that it needs no root
# and leaves nothing behind; sourced, not run.

# nginx_write_conf <prefix> <server blocks>: writes <prefix>/nginx.conf with the given server
# blocks (their listen and root lines); requests are logged to <prefix>/access.log.
nginx_write_conf() {
  local prefix="$1" servers="$2"
  mkdir -p "$prefix/tmp"
  cat >"$prefix/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $prefix/nginx.pid;
error_log $prefix/error.log warn;
events { worker_connections 64; }
http {
  access_log $prefix/access.log;
  client_body_temp_path $prefix/tmp/body;
  proxy_temp_path $prefix/tmp/proxy;
  fastcgi_temp_path $prefix/tmp/fastcgi;
  uwsgi_temp_path $prefix/tmp/uwsgi;
  scgi_temp_path $prefix/tmp/scgi;
  sendfile on;
  tcp_nopush on;
  default_type application/octet-stream;
$servers
}
CONF
}

# nginx_run <prefix>: starts the nginx of <prefix>/nginx.conf in the background and sets
# nginx_pid; the caller waits until it answers and ends it.
nginx_pid=""
nginx_run() {
  local prefix="$1"
  "$(command -v nginx)" -p "$prefix" -c "$prefix/nginx.conf" -e "$prefix/error.log" &
  nginx_pid=$!
}
