#!/usr/bin/env bash
# testca.sh DIR [NAME]: the certificates of the loopback TLS servers, made fresh into DIR:
#   ca.pem           the test CA (bundle.crt: the machine's bundle with it, for a trust store)
#   good.pem         localhost, 127.0.0.1 and NAME (another name of 127.0.0.1), from the test CA
#   othername.pem    "elsewhere.invalid", from the test CA
#   expired.pem      localhost and 127.0.0.1, from the test CA, valid only in 2020
#   untrusted.pem    localhost and 127.0.0.1, from a CA nobody trusts
# Each server file holds the key and the certificate.
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"
ossl() { openssl "$@" 2>/dev/null; }
ca() {  # ca NAME SUBJECT
  ossl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 -subj "/CN=$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}
leaf() {  # leaf NAME CA SAN [START END]
  ossl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=${3%%,*}"
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$4" >"$1.ext"
  if [ $# -ge 6 ]; then
    mkdir -p "$1.db" && : >"$1.db/index" && echo 01 >"$1.db/serial"
    printf '[ca]\ndefault_ca=c\n[c]\ndatabase=%s\nserial=%s\nnew_certs_dir=%s\ndefault_md=sha256\npolicy=p\ncopy_extensions=none\n[p]\ncommonName=supplied\n' \
      "$1.db/index" "$1.db/serial" "$1.db" >"$1.cnf"
    ossl ca -batch -config "$1.cnf" -cert "$2.pem" -keyfile "$2.key" -in "$1.csr" -out "$1.crt" \
      -startdate "$5" -enddate "$6" -extfile "$1.ext" -notext
  else
    ossl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days 30 -out "$1.crt" \
      -extfile "$1.ext"
  fi
  cat "$1.key" "$1.crt" >"$1.pem"
}
ca ca "Ostvane Test CA"
ca rogue "Rogue CA"
san="DNS:localhost,IP:127.0.0.1"
leaf good ca localhost "$san${2:+,DNS:$2}"
leaf othername ca elsewhere.invalid "DNS:elsewhere.invalid"
leaf expired ca localhost "$san" 20200101000000Z 20201231000000Z
leaf untrusted rogue localhost "$san"
cat /etc/ssl/certs/ca-certificates.crt ca.pem >bundle.crt
