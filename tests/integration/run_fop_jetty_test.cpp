// Real applications that make "jar:" URLs again from their text, wrapped with the defaults and
// run with java.io.tmpdir missing, against the same jars under "java -cp": Debian's FOP
// rendering a document with an SVG picture (Batik loads its CSS user-agent sheet by such a
// URL) and Jetty 9 serving a static page out of the application jar.
#include <gtest/gtest.h>

#include <regex>

#include "integration/run_support.h"

using runtest::Output;

namespace {

const std::string kJava = "/usr/share/java/";

const char* kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<fo:root xmlns:fo="http://www.w3.org/1999/XSL/Format">
  <fo:layout-master-set>
    <fo:simple-page-master master-name="page" page-width="10cm" page-height="8cm" margin="1cm">
      <fo:region-body/>
    </fo:simple-page-master>
  </fo:layout-master-set>
  <fo:page-sequence master-reference="page">
    <fo:flow flow-name="xsl-region-body">
      <fo:block>A picture:</fo:block>
      <fo:block><fo:instream-foreign-object>
        <svg xmlns="http://www.w3.org/2000/svg" width="60" height="40">
          <rect x="5" y="5" width="50" height="30" style="fill:green;stroke:black"/>
        </svg>
      </fo:instream-foreign-object></fo:block>
    </fo:flow>
  </fo:page-sequence>
</fo:root>
)";

const char* kJettyProbe = R"(
import java.io.InputStream;
import java.net.HttpURLConnection;
import java.net.URL;
import org.eclipse.jetty.server.Server;
import org.eclipse.jetty.server.ServerConnector;
import org.eclipse.jetty.server.handler.ResourceHandler;
import org.eclipse.jetty.util.resource.Resource;

public class JettyProbe {
    public static void main(String[] args) throws Exception {
        Server server = new Server();
        ServerConnector connector = new ServerConnector(server);
        connector.setHost("127.0.0.1");
        connector.setPort(0);
        server.addConnector(connector);
        ResourceHandler files = new ResourceHandler();
        files.setBaseResource(Resource.newClassPathResource("/web"));
        server.setHandler(files);
        server.start();
        try {
            for (String page : new String[] {"/index.html", "/missing.html"}) {
                URL url = new URL("http://127.0.0.1:" + connector.getLocalPort() + page);
                HttpURLConnection c = (HttpURLConnection) url.openConnection();
                int status = c.getResponseCode();
                StringBuilder body = new StringBuilder();
                if (status == 200) {
                    InputStream in = c.getInputStream();
                    for (int b; (b = in.read()) != -1;) body.append((char) b);
                }
                System.out.println(page + " " + status + " " + c.getContentType() + " " + body.toString().trim());
            }
        } finally {
            server.stop();
        }
    }
}
)";

class RunUrlApps : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    jdk_ = runtest::FindJdk(GetParam());
    if (!jdk_.feature) PLB_SKIP_MISSING() << "JDK " << GetParam() << " is not installed";
  }

  // Both runs with java.io.tmpdir missing; the wrapped one nested, with the defaults.
  void Compare(const std::vector<std::string>& jars, const std::string& mainClass, const std::vector<std::string>& args,
               Output& expected, Output& wrapped) {
    const std::string tmp = "-Djava.io.tmpdir=" + dir_ / "missing";
    std::string classPath;
    for (const auto& jar : jars) classPath += (classPath.empty() ? "" : ":") + jar;
    std::vector<std::string> java = {jdk_.Bin("java"), tmp, "-Djava.awt.headless=true", "-cp", classPath, mainClass};
    java.insert(java.end(), args.begin(), args.end());
    expected = runtest::RunProgram(java);
    runtest::WrapRequest w;
    w.jar = jars[0];
    w.libs.assign(jars.begin() + 1, jars.end());
    w.mainClass = mainClass;
    w.settings = {"option " + tmp, "option -Djava.awt.headless=true"};
    wrapped = runtest::WrapAndRun(jdk_, w, dir_ / "app", args);
  }

  runtest::Jdk jdk_;
  testutil::TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Jdk, RunUrlApps, ::testing::Values(17, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

TEST_P(RunUrlApps, FopRendersItsSvgPicture) {
  std::vector<std::string> jars = {kJava + "fop.jar", kJava + "commons-io.jar", kJava + "xml-apis.jar",
                                   kJava + "batik-all.jar", kJava + "commons-logging.jar",
                                   kJava + "xmlgraphics-commons.jar", kJava + "xml-apis-ext.jar", kJava + "fontbox2.jar"};
  for (const auto& jar : jars)
    if (!testutil::FileExists(jar)) PLB_SKIP_MISSING() << jar << " is missing (Debian package fop)";
  testutil::WriteFile(dir_ / "doc.fo", kDocument);
  Output expected, wrapped;
  Compare(jars, "org.apache.fop.cli.Main", {"-fo", dir_ / "doc.fo", "-pdf", dir_ / "out.pdf"}, expected, wrapped);
  ASSERT_EQ(expected.code, 0) << expected.err;
  const std::string pdf = testutil::ReadFile(dir_ / "out.pdf");
  EXPECT_EQ(wrapped.code, 0) << wrapped.err;
  EXPECT_EQ(wrapped.out, expected.out);
  // The log lines carry their time; what they say must be the same, without an SVG failure.
  auto messages = [](const std::string& err) {
    return std::regex_replace(err, std::regex("[A-Z][a-z][a-z] [0-9]+, [0-9]+ [0-9:]+ [AP]M "), "");
  };
  EXPECT_EQ(messages(wrapped.err), messages(expected.err));
  EXPECT_EQ(wrapped.err.find("SVG"), std::string::npos) << wrapped.err;
  EXPECT_EQ(testutil::ReadFile(dir_ / "out.pdf").size(), pdf.size());  // java -cp's ran first
}

TEST_P(RunUrlApps, JettyServesAPageFromTheApplicationJar) {
  std::vector<std::string> libs = {kJava + "jetty9-server.jar", kJava + "jetty9-util.jar", kJava + "jetty9-http.jar",
                                   kJava + "jetty9-io.jar", kJava + "servlet-api.jar"};
  for (const auto& jar : libs)
    if (!testutil::FileExists(jar)) PLB_SKIP_MISSING() << jar << " is missing (Debian package libjetty9-java)";
  testutil::MakeDirs(dir_ / "src");
  testutil::WriteFile(dir_ / "src/JettyProbe.java", kJettyProbe);
  std::string classPath;
  for (const auto& jar : libs) classPath += (classPath.empty() ? "" : ":") + jar;
  runtest::CompileJava(runtest::BuildJdk(), dir_ / "src", dir_ / "classes", classPath);
  testutil::MakeDirs(dir_ / "classes/web");
  testutil::WriteFile(dir_ / "classes/web/index.html", "<html><body>served from the jar</body></html>\n");
  runtest::MakeJar(runtest::BuildJdk(), dir_ / "app.jar", dir_ / "classes");
  std::vector<std::string> jars = {dir_ / "app.jar"};
  jars.insert(jars.end(), libs.begin(), libs.end());
  Output expected, wrapped;
  Compare(jars, "JettyProbe", {}, expected, wrapped);
  ASSERT_EQ(expected.code, 0) << expected.err;
  EXPECT_NE(expected.out.find("/index.html 200 text/html <html><body>served from the jar</body></html>"),
            std::string::npos)
      << expected.out;
  EXPECT_EQ(wrapped.code, 0) << wrapped.err;
  EXPECT_EQ(wrapped.out, expected.out);
}

}  // namespace
