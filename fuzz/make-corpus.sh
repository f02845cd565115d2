#!/usr/bin/env bash
# Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/: small lists, lines, branch keys
# update documents, answers of the simulator's web API and its UDP packets of the shapes the program
# meets, plus a few damaged ones.
set -euo pipefail
cd "$(dirname "$0")/corpus"

seed() { # target name bytes...
    mkdir -p "$1"
    printf "$3" > "$1/$2"
}

t=fuzz_reference_parse
seed $t dataref 'sim/cockpit/autopilot/mode\tint\ty\tenum\tAutopilot mode'
seed $t command 'sim/operation/quit      Quit the simulator.'
seed $t units-empty 'sim/a/b\tint\ty\t\tCount'
seed $t path-only 'sim/flightmodel/position/local_x'
seed $t blanks-after ' \t sim/x \t\f\v\r'
seed $t nul-inside 'sim/a\000b\tint\000\ty'
seed $t high-bytes 'sim/\xc3\xbc\xff\xfe/\xce\xb1\tfloat\ty\t\xe2\x80\x94'

t=fuzz_reference_list
seed $t datarefs '2 1200 header\nsim/time/total\tfloat\tn\tseconds\tTotal\nsim/cockpit/radios/com1\tint\ty\t10hz\tCom\nsim/cockpit/autopilot/mode\tint\ty\tenum\tMode\n'
seed $t commands 'sim/operation/quit      Quit.\nsim/view/forward       Look ahead.\nsim/view/forward/more  Deeper.\n'
seed $t crlf '2 header\r\nsim/a/b\tint\r\nsim/a/c\tint\r\n'
seed $t cr-only '2 header\rsim/a/b\tint\rsim/a/c\tint\r'
seed $t odd-paths '2 h\nsim/odd//empty\tint\nsim/odd/trailing/\tint\n/lead\tint\n\tint\nsim\tbyte\nsim/odd\tint\n'
seed $t nul-and-utf8 '2 h\nsim/\000x\tint\nsim/\xc3\xbc/\xff\tint\nsim/\xe2\x82\tint\n'
seed $t duplicates '2 h\nsim/a\tint\nsim/a\tfloat\nsim/a/b\tint\nsim/a\tdouble\n'
seed $t empty ''
seed $t no-final-newline '2 h\nsim/a/b\tint'

t=fuzz_branch_keys
seed $t fixed-list-keys '00\n0000\n000000\n0010\n'
seed $t fixed-list-all '00\n0000\n000000\n0010\n0020\n002000\n00200000\n0030\n'
seed $t own-list '2 h\nsim/a/b/c\tint\nsim/a/d\tint\nsim/e/f\tint\n\00000\n0000\n000000\n0010\n'
seed $t bad-keys 'x\n\n-1\n00 \n0\n99999999999999999999\n0a0\n'

t=fuzz_update_document
seed $t complete '{"programId":"CORVREFSCOPE","version":{"major":1,"minor":0,"patch":0,"revision":"4f2a9c01d7be"},"releaseType":"final","downloadUrl":"https://example.com/r.zip","notes":"Faster","urgent":true,"longName":"Corvane Refscope","shortName":"Refscope","companyName":"Corvane","webSite":"example.com","productPage":"example.com/refscope","copyright":"(C)","buildDate":"Mar  2 2027","buildTime":"10:15:00"}'
seed $t minimal '{"programId":"CORVREFSCOPE","version":{"major":2,"minor":1,"patch":3},"releaseType":"rc","downloadUrl":""}'
seed $t other-program '{"programId":"OTHER","version":{"major":1,"minor":0,"patch":0},"releaseType":"beta","downloadUrl":"x"}'
seed $t bad-number '{"programId":"CORVREFSCOPE","version":{"major":1e300,"minor":-1,"patch":0.5},"releaseType":"alpha","downloadUrl":"x"}'
seed $t not-json '<html><body>Not found</body></html>'
seed $t array '[1,2,{"programId":"CORVREFSCOPE"}]'

t=fuzz_api_document
seed $t capabilities '{"api":{"versions":["v1","v2"]},"x-plane":{"version":"12.1.4-r1"}}'
seed $t datarefs '{"data":[{"id":1253033683792,"name":"sim/flightmodel/position/latitude","value_type":"double","is_writable":false},{"id":4611686018427387905,"name":"sim/engine/N1","value_type":"float_array"},{"id":3,"name":"bad name","value_type":"int","is_writable":true}]}'
seed $t commands '{"data":[{"id":7,"name":"sim/none/none","description":"Do nothing.\\nAt all."}]}'
seed $t count '{"data":10412}'
seed $t value-number '{"data":47.4621}'
seed $t value-array '{"data":[20.5,0.1,0,-3e38]}'
seed $t value-data '{"data":"TjE3MlNQAAAAAA=="}'
seed $t update '{"type":"dataref_update_values","data":{"1253033683792":47.5,"4611686018427387905":[1,2],"9":"QUJD"}}'
seed $t result '{"req_id":1,"type":"result","success":false,"error_code":"invalid_id","error_message":"no such id"}'
seed $t error '{"error_code":"dataref_not_found","error_message":"no dataref with that id"}'
seed $t forbidden '<html><body><h1>403 Forbidden</h1></body></html>'
seed $t repeated-key '{"data":[{"id":1,"id":2,"name":"a","value_type":"int"}]}'
seed $t huge-id '{"data":[{"id":92233720368547758070,"name":"a","value_type":"int"}],"req_id":1e300}'

t=fuzz_udp_message
# RREF answers: "RREF", a byte, then index (int32) and value (float32) pairs, little-endian.
seed $t values 'RREF,\000\000\000\000\000\000\200\077\001\000\000\000\000\110\070\106'
seed $t value-nan 'RREF,\007\000\000\000\000\000\300\177'
seed $t value-odd 'RREF,\000\000\000\000\000\000\200\077odd'
seed $t value-short 'RRE'
pair='\001\000\000\000\000\000\200\077'
seed $t values-183 "RREF,$(for _ in $(seq 183); do printf '%s' "$pair"; done)"
seed $t values-184 "RREF,$(for _ in $(seq 184); do printf '%s' "$pair"; done)"
# Beacons: "BECN", a byte, major and minor version, host, version, role, port, the computer's name.
seed $t beacon 'BECN\000\001\002\001\000\000\000\055\303\001\000\001\000\000\000\150\277pilot-pc\000'
seed $t beacon-ios-controls 'BECN\000\001\001\002\000\000\000\055\303\001\000\003\000\000\000\150\277a\tb\033[31m\000'
seed $t beacon-version-2 'BECN\000\002\002\001\000\000\000\055\303\001\000\001\000\000\000\150\277later\000'
seed $t beacon-no-end 'BECN\000\001\002\001\000\000\000\055\303\001\000\001\000\000\000\150\277pilot-pc'
seed $t beacon-short 'BECN\000\001\002\001\000'
