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
key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
ca_ext=(-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign)
names=subjectAltName=DNS:localhost,IP:127.0.0.1

openssl req -x509 "${key[@]}" -days 2 -subj "/CN=vorn test CA" "${ca_ext[@]}" -keyout ca.key -out ca.pem
openssl req -x509 "${key[@]}" -days 2 -subj "/CN=another CA" "${ca_ext[@]}" -keyout other-ca.key -out other-ca.pem
openssl req "${key[@]}" -subj /CN=localhost -keyout server.key -out server.csr
printf '%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$names" > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile server.ext \
    -out server.pem

# openssl x509 cannot back-date; openssl ca can.
cat > ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
[any]
commonName = supplied
[server]
$names
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
CNF
: > index.txt
echo 1000 > serial
openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in server.csr -extensions server \
    -startdate 20200101000000Z -enddate 20200201000000Z -out expired.pem 2> ca.err

openssl req -x509 "${key[@]}" -days 2 -subj /CN=localhost -addext "$names" -keyout self.key -out self.pem
