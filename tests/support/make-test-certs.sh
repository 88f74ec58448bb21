#!/usr/bin/env bash
# Test certificates, made fresh into folder $1 at each run (never kept in the
# source tree): a test CA and a second, unrelated one; server certificates for
# localhost and 127.0.0.1 signed by the CA, one of them expired; and a
# self-signed pair.
set -euo pipefail
dir=$1
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
# RSA: Wine's crypt32 refuses an ECDSA signature whose r or s is shorter than
# its 32 bytes, which one P-256 certificate in about a hundred has.
key=(-newkey rsa:2048 -nodes)
ca_ext=(-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign)
names=subjectAltName=DNS:localhost,IP:127.0.0.1

openssl req -x509 "${key[@]}" -days 2 -subj "/CN=vorn test CA" "${ca_ext[@]}" -keyout ca.key -out ca.pem
openssl req -x509 "${key[@]}" -days 2 -subj "/CN=another CA" "${ca_ext[@]}" -keyout other-ca.key -out other-ca.pem
openssl req "${key[@]}" -subj /CN=localhost -keyout server.key -out server.csr
printf '%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$names" > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile server.ext \
    -out server.pem
# Valid until a day before it was made.
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days -1 -extfile server.ext \
    -out expired.pem

openssl req -x509 "${key[@]}" -days 2 -subj /CN=localhost -addext "$names" -keyout self.key -out self.pem
